# Sourced by scripts/test.sh: runs named stages, each after installing its package lists, and
# reports them. A stage that fails, or whose packages cannot be installed, does not stop the
# others. `stages_report` prints a line a stage and returns non-zero when any stage failed or
# did not run; a stage skipped because its foreign-architecture package lists failed to
# download (setup's exit status 75) does not count against the run.
#
# CORVALEN_SETUP names the set-up command (scripts/setup.sh); CORVALEN_APT_STATE must be set.
# stages_only NAME... limits the run to the stages named (all when none are).
readonly stages_foreign_fault=75
declare -A stage_outcome   # stage -> passed | failed | not run | skipped
stage_lines=()             # a line a stage, in the order they ran
stage_skip_reasons=()      # what setup said for each skipped stage
stage_selection=()         # the stages to run; empty: all

stages_only() { stage_selection=("$@"); }

stage_record() {
    stage_outcome[$1]=$2
    stage_lines+=("$(printf '%-22s %-8s %5ds  %s' "$1" "$2" "$SECONDS" "${3:-}")")
}

# stage NAME "LIST..." FUNCTION [STAGE...]: installs the lists, then runs FUNCTION under
# `set -e`, unless a stage it builds on did not pass.
stage() {
    local name=$1 lists=$2 run=$3 need rc=0
    shift 3
    if [[ ${#stage_selection[@]} -gt 0 && " ${stage_selection[*]} " != *" $name "* ]]; then
        return 0
    fi
    for need in "$@"; do
        case ${stage_outcome[$need]:-not run} in
            passed) ;;
            skipped) stage_record "$name" skipped "builds on $need, skipped"; return 0 ;;
            *) stage_record "$name" "not run" "builds on $need, which ${stage_outcome[$need]:-did not run}"; return 0 ;;
        esac
    done
    echo "== $name"
    local setup_log=$CORVALEN_APT_STATE/setup-$name.log
    # shellcheck disable=SC2086 # the lists are words
    "${CORVALEN_SETUP:-scripts/setup.sh}" --for "stage $name" $lists 2>"$setup_log" || rc=$?
    cat "$setup_log" >&2
    if [[ $rc -eq $stages_foreign_fault ]]; then
        stage_record "$name" skipped "its foreign-architecture packages' lists failed to download"
        stage_skip_reasons+=("$name: $(cat "$setup_log")")
        return 0
    elif [[ $rc -ne 0 ]]; then
        stage_record "$name" "not run" "packages could not be installed: $(grep -m1 'cannot install' "$setup_log")"
        return 0
    fi
    # set -e holds in the subshell only where its status is not tested (no `||`, no `if`).
    (set -e; "$run")
    rc=$?
    if [[ $rc -eq 0 ]]; then stage_record "$name" passed; else stage_record "$name" failed; fi
}

stages_report() {
    local line name bad=()
    echo "== stages (elapsed time at the end of each):"
    printf '   %s\n' "${stage_lines[@]}"
    for line in "${stage_lines[@]}"; do
        name=${line%% *}
        case ${stage_outcome[$name]} in
            passed | skipped) ;;
            *) bad+=("$name (${stage_outcome[$name]})") ;;
        esac
    done
    if [[ ${#stage_skip_reasons[@]} -gt 0 ]]; then
        echo "== skipped, a fault of the package source, not of the project:"
        printf '%s\n' "${stage_skip_reasons[@]}" | sed 's/^/   /'
    fi
    if [[ ${#bad[@]} -gt 0 ]]; then
        echo "== FAILED or not run: ${bad[*]}"
        return 1
    fi
    echo "== all stages that could run passed"
}
