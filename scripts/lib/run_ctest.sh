# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Sourced by the test passes.

# Usage: run_pass NAME CTEST_COMMAND...
# Runs one pass of the suite through CTest and adds a line to
# build-tally/passes.txt: its name, the tests run, those that failed or were
# skipped (everything a test needs is installed, so a skip is a fault), and
# its time in seconds. A pass whose CTest ends without its summary, having
# run nothing, counts as one that could not run. It returns 0 whatever the
# tests did, so that the passes after it still run; the test command reads
# the tally.
run_pass() {
    local name=$1 log start=$SECONDS summary run=0 failed=0 skipped
    shift
    log=$(mktemp)
    echo "== $name"
    "$@" --output-on-failure 2>&1 | tee "$log" || true
    summary=$(sed -nE 's/.* tests passed, ([0-9]+) tests? failed out of ([0-9]+)$/\2 \1/p' "$log" | tail -n 1)
    skipped=$(sed -n '/The following tests did not run/,/^$/p' "$log" | grep -c ' - ' || true)
    [ -z "$summary" ] || read -r run failed <<<"$summary"
    mkdir -p build-tally
    if [ -z "$summary" ]; then
        printf '%s\t0\t0\t%d\tcould not run\n' "$name" $((SECONDS - start)) >>build-tally/passes.txt
    else
        printf '%s\t%d\t%d\t%d\t\n' "$name" "$run" $((failed + skipped)) $((SECONDS - start)) \
            >>build-tally/passes.txt
    fi
    rm -f "$log"
}

# Records a pass that could not start, such as one whose build failed.
record_unrun_pass() {
    mkdir -p build-tally
    printf '%s\t0\t0\t0\t%s\n' "$1" "$2" >>build-tally/passes.txt
}
