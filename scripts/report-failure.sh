# Sourced by the project's scripts right after their `set -euo pipefail`: a command whose failure ends the script is
# named, with the script, its line and its status, before the script ends, so that no script ends without a word.
# Functions and subshells inherit it (set -E). A function that returns a failure is named where it was called.
set -E
tsm_report_failure() {
  local status=$1 command=$2 line=$3
  if [[ $command == return* ]]; then
    echo "${BASH_SOURCE[2]##*/}: line ${BASH_LINENO[1]}: ${FUNCNAME[1]} failed with status $status" >&2
  else
    echo "${BASH_SOURCE[1]##*/}: line $line: \`$command\` failed with status $status" >&2
  fi
}
trap 'tsm_report_failure $? "$BASH_COMMAND" $LINENO' ERR
