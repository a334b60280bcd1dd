#!/usr/bin/env bash
# Deliberate faults: applies each patch here in turn, builds what its tests
# need, runs them (stopping at the first failure), reverts, and tells whether
# the suite caught the fault. Run by hand on a green tree:
#   tests/mutations/run.sh [BUILD_DIR] [PATCH...]     (BUILD_DIR defaults to the checkout's build)
# A patch starts with "Fault: <what is wrong>" and "Tests: <ctest -R regex>"
# lines, then a diff against the current sources.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(git -C "$here" rev-parse --show-toplevel)
build=$root/build
if [ $# -gt 0 ] && [ -d "$1" ]; then build=$1; shift; fi
build=$(cd "$build" && pwd) || exit 2
cd "$root" || exit 2

patches=()
for name in "${@:-}"; do
    [ -z "$name" ] && continue
    n=$(basename "$name" .patch)
    p=$(ls "$here/$n.patch" "$here/$n"-*.patch "$here"/*-"$n".patch 2>/dev/null | head -n1)
    [ -n "$p" ] || { echo "no patch matches $name" >&2; exit 2; }
    patches+=("$p")
done
[ ${#patches[@]} -gt 0 ] || patches=("$here"/*.patch)

# A patch applied over local edits could not be reverted cleanly.
for p in "${patches[@]}"; do
    files=$(git apply --numstat "$p" | cut -f3)
    if ! git diff --quiet HEAD -- $files; then
        echo "uncommitted changes in $files: commit or stash them first" >&2
        exit 2
    fi
done

applied=
revert() { [ -n "$applied" ] && git apply -R "$applied" && applied=; }
trap 'revert; exit 130' INT TERM
trap revert EXIT

log=$(mktemp -d)
caught=0 missed=0 broken=0
start=$SECONDS
for p in "${patches[@]}"; do
    name=$(basename "$p" .patch)
    regex=$(sed -n 's/^Tests: *//p' "$p" | head -n1)
    result=
    if ! git apply "$p" 2>"$log/$name"; then
        result="does not apply"
    else
        applied=$p
        # The programs behind the chosen tests: nothing else needs building.
        targets=$(ctest --test-dir "$build" -N -V -R "$regex" | sed -n 's/^.*Test command: \([^ ]*\).*/\1/p' |
                  grep "^$build/" | xargs -rn1 basename | sort -u)
        if [ -z "$targets" ]; then
            result="no test matches $regex"
        elif ! cmake --build "$build" --target $targets >"$log/$name" 2>&1; then
            result="does not build"
        elif ctest --test-dir "$build" -R "$regex" --stop-on-failure --timeout 300 --no-tests=error \
                >"$log/$name" 2>&1; then
            result=missed
        else
            failed=$(sed -n 's/^[[:space:]]*\([0-9]\+\) - \(.*\) (.*)$/\1 \2/p' "$log/$name" | head -n1)
            result="caught by ${failed#* }"
        fi
        revert
        # Rebuilt without the fault, so the build stays usable and a test
        # that fails anyway is not counted as a catch.
        [ -n "$targets" ] && cmake --build "$build" --target $targets >>"$log/$name" 2>&1
        if [ "${result#caught}" != "$result" ] &&
           ! ctest --test-dir "$build" -I "${failed%% *},${failed%% *}" >>"$log/$name" 2>&1; then
            result="${failed#* } fails without the fault too"
        fi
    fi
    case $result in
        caught*) caught=$((caught + 1)) ;;
        missed) missed=$((missed + 1)) ;;
        *) broken=$((broken + 1)) ;;
    esac
    printf '%-32s %s\n' "$name" "$result"
done
echo "$caught caught, $missed missed, $broken not judged ($((SECONDS - start)) s); logs in $log"
