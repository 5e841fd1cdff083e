#!/usr/bin/env bash
# The main job: installs what is missing, builds the engine and its command-line renderer,
# renders an image through a bundled look and saves the result.
# Usage: scripts/main.sh [INPUT [PRESET [OUTPUT]]]
#   INPUT   defaults to a colour chart the tool generates (output/korvane-chart.png)
#   PRESET  defaults to examples/presets/look.json (five layers)
#   OUTPUT  defaults to output/korvane-look.jpg
set -euo pipefail
cd "$(dirname "$0")/.."

step_start=$SECONDS
step() { echo "== $1 took $((SECONDS - step_start)) s"; step_start=$SECONDS; }

bash scripts/install-deps.sh
step "install"
bash scripts/build.sh --target korvane-render build
step "build"

mkdir -p output
input=${1:-output/korvane-chart.png}
preset=${2:-examples/presets/look.json}
output=${3:-output/korvane-look.jpg}
if [ $# -lt 1 ]; then
  build/examples/korvane-render --make-chart "$input"
fi

# With no display the tool renders on its headless platform (EGL, no X server).
build/examples/korvane-render --quality High "$input" "$preset" "$output"
step "render"
echo "Input:  $(realpath "$input")"
echo "Result: $(realpath "$output")"
