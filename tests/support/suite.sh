# The counts every shell suite keeps, sourced by each of them (tests/e2e/check-ir-monitor,
# run-e2e and smoke-32bit, tests/package/check-package, tests/fuzz/run-fuzz,
# tests/fresh-machine/check-install-deps) and by scripts/test, which adds up their last lines:
# a line for every check as it ends, then "N passed, N failed", with ", N skipped" after it
# when a check could not run.
#
#   source tests/support/suite.sh PASSED-MARK FAILED-MARK
#
# The marks begin a check's line: "ok   " and "FAIL " for most suites; run-e2e's own checks,
# among the driver's indented lines, have "ok   - " and "FAIL - ".

passed=0 failed=0 skipped=0
suite_passed_mark=$1 suite_failed_mark=$2

# pass WHAT: a check that held.
pass() { passed=$((passed + 1)); echo "$suite_passed_mark$1"; }

# fail WHAT [WHY]: a check that failed, and why (after a colon, when given).
fail() { failed=$((failed + 1)); echo "$suite_failed_mark$1${2+: $2}"; }

# check WHAT STATUS WHY: pass WHAT when STATUS is 0, else fail WHAT, saying WHY.
check() { if [ "$2" = 0 ]; then pass "$1"; else fail "$1" "$3"; fi; }

# add_counts LINE: adds the counts of another run's last line ("N passed, N failed[, N skipped]":
# a suite's, the end-to-end driver's); false, adding nothing, when LINE is no such line.
add_counts() {
    [[ $1 =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed(,\ ([0-9]+)\ skipped)? ]] || return 1
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
    skipped=$((skipped + ${BASH_REMATCH[4]:-0}))
}

# suite_end: the last line; true when no check failed.
suite_end() {
    echo "$passed passed, $failed failed$([ "$skipped" = 0 ] || echo ", $skipped skipped")"
    [ "$failed" = 0 ]
}
