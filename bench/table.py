# SPDX-License-Identifier: MIT
"""Prints README's performance table from the results bench/run.sh gathered."""
import json
import statistics
import sys
from pathlib import Path

work = Path(sys.argv[1])


def load(name):
    return json.loads((work / name).read_text())


inspect, objcopy, started = (r["median"] * 1000 for r in load("inspect.json")["results"])


def median_of(results, name, key):
    values = [b[key] for b in results["benchmarks"] if b.get("run_name") == name and b.get("run_type") == "iteration"]
    return statistics.median(values)


update = load("update.json")
hex_rate = median_of(update, "BM_IhexRead", "bytes_per_second") / 1e9
make_update = median_of(update, "BM_MakeUpdate", "real_time")
inflate = median_of(update, "BM_InflateLargestEntry", "real_time")

markdown = load("markdown.json")["benchmarks"]
ordinary = next(b["real_time"] for b in markdown if b["name"].startswith("BM_RenderNotes/1048576"))
hostile = [b for b in markdown if b["name"].startswith("BM_HostileNotes/")]
worst = max(hostile, key=lambda b: b["real_time"])
worst_fill = next(b["real_time"] for b in markdown
                  if b["name"].startswith("BM_HostileFillOnly/") and b.get("label") == worst.get("label"))

startup = load("startup.json")

# The least each measure could be, where something outside our code bounds it,
# measured in the same run.
inspect_floor = started + inflate
rows = [
    ("`ventaro-update-cli inspect` of a package with a 917,504-byte image, whole process, vs `objcopy -I ihex -O binary` "
     "on that image's HEX alone", f"{inspect:.1f} ms vs {objcopy:.1f} ms: {inspect / objcopy:.2f}×", "≤ 0.4×",
     f"{inspect_floor / objcopy:.2f}×: starting the tool ({started:.1f} ms) and inflating the entry with libdeflate "
     f"(BM_InflateLargestEntry, {inflate:.1f} ms)"),
    ("HEX decoding (`update_bench` BM_IhexRead)", f"{hex_rate:.2f} GB/s of text", "≥ 2 GB/s", ""),
    ("`make_update` of the two-device package (3.2 MB, BM_MakeUpdate)", f"{make_update:.1f} ms", "≤ 12 ms", ""),
    ("release notes, any 1 MiB input, render + fill (`markdown_bench` Hostile), worst shape",
     f"{worst['real_time']:.0f} ms ({worst.get('label', '')})", "< 500 ms",
     f"{worst_fill:.0f} ms: Qt filling the document with the parsed text (BM_HostileFillOnly)"),
    ("ordinary 1 MiB notes, render + fill (BM_RenderNotes)", f"{ordinary:.0f} ms", "< 200 ms", ""),
    ("start-up to the window with notes vs a QLabel in a QMainWindow, started the same way (`startup_bench`)",
     f"{startup['app_ms']:.1f} ms vs {startup['minimal_ms']:.1f} ms: {startup['ratio']:.2f}×", "≤ 1.3×",
     f"{startup['notes_ratio']:.2f}× ({startup['notes_ms']:.1f} ms): a window showing only the same notes, "
     "read and rendered the same way"),
]
print("| what | measured | aim | least possible, same run |")
print("|---|---|---|---|")
for row in rows:
    print("| " + " | ".join(cell or "—" for cell in row) + " |")
print()
print(f"The application against the window with only its notes: {startup['app_vs_notes']:.2f}×.")
print()
print("Every hostile shape (1 MiB, render + fill):")
for b in hostile:
    print(f"- {b.get('label', b['name'])}: {b['real_time']:.0f} ms")
