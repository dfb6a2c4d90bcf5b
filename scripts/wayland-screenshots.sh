#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the screenshots again under a real Wayland compositor (headless Weston,
# drawing with pixman, its screenshooter allowed by --debug), so that the
# windows' decorations and placement show as the compositor renders them; they
# go to docs/wayland/, next to the X11 ones in docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --tests
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target take-screenshots sample_package
mkdir -p docs/wayland

# shellcheck source=scripts/weston.sh
source scripts/weston.sh
start_weston wayland-shots --use-pixman --width=1000 --height=700 --debug

# weston-screenshooter writes wayland-screenshot-<time>.png in its current
# folder; this moves it to the path take-screenshots asks for.
cat >"$runtime/shoot" <<'SHOOT'
#!/bin/sh
set -e
cd "$(dirname "$0")"
rm -f wayland-screenshot-*.png
weston-screenshooter
mv wayland-screenshot-*.png "$1"
SHOOT
chmod +x "$runtime/shoot"

for language in en fr; do
  LANGUAGE=$language WAYLAND_DISPLAY=wayland-shots QT_QPA_PLATFORM=wayland QT_IM_MODULE=compose \
    ZAL_SCREENSHOT_COMMAND="$runtime/shoot" build/take-screenshots "$language" docs/wayland build/sample.zalmirupdate
done
ls docs/wayland/*.png
