# Sourced by the test passes.

# Runs a CTest command line, failing if it skipped anything, and adds its
# counts of tests run and failed to build-tally/passes.txt.
run_ctest() {
    local log
    log=$(mktemp)
    "$@" --output-on-failure | tee "$log"
    mkdir -p build-tally
    sed -nE 's/.* tests passed, ([0-9]+) tests? failed out of ([0-9]+)$/\2 \1/p' "$log" \
        >>build-tally/passes.txt
    if grep -q 'The following tests did not run' "$log"; then
        echo "Some tests were skipped: see above" >&2
        exit 1
    fi
    rm -f "$log"
}
