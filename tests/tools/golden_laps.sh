#!/bin/bash
# golden_laps.sh GLD_GEN GLD_LAPS DATA_DIR [--update]
# Generates every session listed in DATA_DIR/sessions.txt, loads each through gld-laps and
# compares its lap lines and progress codes with DATA_DIR/<name>.txt. With --update the outputs
# are written there instead (only after a change meant to alter the results).
set -u
gen=$(realpath "$1") laps=$(realpath "$2") data=$3 update=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Loads note recent documents and usage: keep them in the scratch folder.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
       XDG_CACHE_HOME="$scratch/cache"
failed=0
while read -r name args; do
    [[ -z "$name" || "$name" == \#* ]] && continue
    # shellcheck disable=SC2086
    "$gen" --quiet $args "$scratch/$name.gld" || { echo "gld-gen failed for $name"; exit 1; }
    out="$scratch/$name.txt"
    (cd "$scratch" && "$laps" "$name.gld" 2>"$name.err"; echo "exit $?") >"$out"
    grep -E '^[0-9]+'$'\t' "$scratch/$name.err" >>"$out"
    if [[ "$update" == "--update" ]]; then
        cp "$out" "$data/$name.txt"
    elif ! diff -u "$data/$name.txt" "$out"; then
        echo "FAILED: $name differs from $data/$name.txt"
        failed=1
    fi
done <"$data/sessions.txt"
exit $failed
