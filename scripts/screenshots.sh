#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's screenshots in English and French under Xvfb (a real X
# server) and puts them in docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --tests
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target take-screenshots sample_package
mkdir -p docs
for language in en fr; do
  LANGUAGE=$language xvfb-run -a -s "-screen 0 1280x800x24" \
    build/take-screenshots "$language" docs build/sample.zalmirupdate
done
ls docs/*.png
