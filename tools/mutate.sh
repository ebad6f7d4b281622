#!/usr/bin/env bash
# The mutation check: seeds each fault of tools/mutate/mutants.txt into a
# scratch copy of the tree, one at a time, rebuilds what it touches, runs the
# part of the suite that covers it until the first failure, and restores the
# file. Prints one row per mutant and the score.
#   mutate.sh [N | NAME...]   the first N mutants, or the named ones; all by default
# Called by ./quarvel mutate, which sets ARCH, TOOLCHAIN, QUARVEL_WINE,
# WINEARCH and WINEDEBUG for the chosen Wine path. The real tree is only read.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
MUTANTS="$ROOT/tools/mutate/mutants.txt"
SCRATCH="$ROOT/build/mutate"
SRC="$SCRATCH/src"
NATIVE="$SRC/build/native"
WIN="$SRC/build/win"
[ "${ARCH:?ARCH is set by ./quarvel}" = x64 ] && WIN="$SRC/build/win64"
# A Wine prefix of its own: the registry and C:\quarvel-tests of ./quarvel test
# stay untouched while both run.
export WINEPREFIX="$SCRATCH/wineprefix-$ARCH"
# The Wine test programs, quickest first. The scenario server's own tests
# and the demo script do not exercise the library.
WINE_PROGRAMS=(component_test c_host whitebox_test whitebox_earlier_test dispatch_test
               redirect_test log_test get_test fault_test check_tool_test
               simulator_scenarios_test adversarial_test)

say() { printf 'mutate: %s\n' "$*" >&2; }

# --- The scratch copy ---------------------------------------------------------

# The tree's source files: tracked ones, and new ones git does not ignore.
source_files() { git -C "$ROOT" ls-files -z --cached --others --exclude-standard; }

# Copies the source files of the tree into $SRC. Only files whose bytes
# differ are written (with a new time), so the scratch builds stay
# incremental and a file left mutated by an interrupted run is restored.
sync_scratch() {
  local file
  mkdir -p "$SRC"
  while IFS= read -r -d '' file; do
    [ -f "$ROOT/$file" ] || continue
    if ! cmp -s "$ROOT/$file" "$SRC/$file"; then
      mkdir -p "$(dirname "$SRC/$file")"
      cp "$ROOT/$file" "$SRC/$file"
    fi
  done < <(source_files)
  remove_stale_files
}

# Removes scratch files the tree no longer has (a test file globbed by the
# build must not outlive its deletion).
remove_stale_files() {
  local file
  (cd "$SRC" && find . -path ./build -prune -o -type f -print | sed 's|^\./||') | sort >"$SCRATCH/copied"
  source_files | tr '\0' '\n' | sort -u >"$SCRATCH/sources"
  comm -23 "$SCRATCH/copied" "$SCRATCH/sources" | while IFS= read -r file; do rm -f "$SRC/$file"; done
}

configure_scratch() {
  cmake -S "$SRC" -B "$WIN" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/$TOOLCHAIN.cmake" >/dev/null &&
    cmake -S "$SRC" -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUARVEL_FUZZ=OFF >/dev/null
}

# The portable sources, as the top CMakeLists.txt lists them.
portable_sources() {
  sed -n '/^set(QUARVEL_PORTABLE_SOURCES/,/^)/p' "$SRC/CMakeLists.txt" | sed -n 's/^ *\([a-z][^ ]*\.cpp\)$/\1/p'
}

# --- The mutant list ----------------------------------------------------------

# Reads $MUTANTS into parallel arrays. A record: "name path [program...]",
# then "- original", "+ replacement", one line on the fault, and optionally
# "= why it survives" for a survivor that cannot be caught here.
declare -a M_NAME M_PATH M_PROGRAMS M_FROM M_TO M_WHY M_SURVIVES
read_mutants() {
  local line i=-1
  while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
      '#'* | '') continue ;;
      '- '*) M_FROM[i]="${line#- }" ;;
      '+ '*) M_TO[i]="${line#+ }" ;;
      '+') M_TO[i]="" ;;
      '= '*) M_SURVIVES[i]="${line#= }" ;;
      ' '*) M_WHY[i]="${M_WHY[i]:-}${M_WHY[i]:+ }${line# }" ;;
      *)
        i=$((i + 1))
        read -r M_NAME[i] M_PATH[i] M_PROGRAMS[i] <<<"$line"
        M_FROM[i]="" M_TO[i]="" M_WHY[i]="" M_SURVIVES[i]=""
        ;;
    esac
  done <"$MUTANTS"
}

# Indexes of the mutants to run: all, the first N, or those named.
selected_mutants() {
  local i name
  if [ $# -eq 0 ]; then
    seq 0 $((${#M_NAME[@]} - 1))
  elif [ $# -eq 1 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
    seq 0 $(($1 < ${#M_NAME[@]} ? $1 - 1 : ${#M_NAME[@]} - 1))
  else
    for name in "$@"; do
      for i in "${!M_NAME[@]}"; do [ "${M_NAME[i]}" = "$name" ] && echo "$i"; done
    done
  fi
}

# --- One mutant ---------------------------------------------------------------

# Writes the mutant into its scratch file; fails (stale) unless the original
# text occurs exactly once.
apply_mutant() {
  local i="$1" file="$SRC/${M_PATH[$1]}" text rest
  [ -f "$file" ] || return 1
  IFS= read -r -d '' text <"$file"
  rest="${text#*"${M_FROM[i]}"}"
  [ "$rest" != "$text" ] || return 1
  [[ "$rest" != *"${M_FROM[i]}"* ]] || return 1
  printf '%s' "${text/"${M_FROM[i]}"/"${M_TO[i]}"}" >"$file"
}

# Puts the tree's own bytes back, with a new time so that the next build
# compiles them again.
restore_file() { cp "$ROOT/$1" "$SRC/$1"; }

# The file that holds a mutant right now, restored however the run ends.
MUTATED=""
restore_on_exit() { [ -n "$MUTATED" ] && restore_file "$MUTATED"; }
trap restore_on_exit EXIT
trap 'exit 130' INT TERM

is_portable() { portable_sources | grep -qxF "$1"; }

# The programs that cover a mutant: its record's, else the whole set of its
# kind ("native" for the portable code).
covering_programs() {
  local i="$1"
  if [ -n "${M_PROGRAMS[i]}" ]; then
    echo "${M_PROGRAMS[i]}"
  elif is_portable "${M_PATH[i]}"; then
    echo native
  else
    echo "${WINE_PROGRAMS[@]}"
  fi
}

build_targets() {
  local program targets=()
  for program in "$@"; do
    case "$program" in
      native) nice -n 10 cmake --build "$NATIVE" -j2 --target quarvel_native_tests >>"$SCRATCH/build.log" 2>&1 || return 1 ;;
      *) targets+=("$program") ;;
    esac
  done
  [ ${#targets[@]} -eq 0 ] && return 0
  nice -n 10 cmake --build "$WIN" -j2 --target quarvel_current quarvel_earlier "${targets[@]}" \
    >>"$SCRATCH/build.log" 2>&1
}

# Runs the programs, native first, stopping at the first that fails; prints
# what caught the mutant, or nothing.
run_programs() {
  local program wine=() verdict
  for program in "$@"; do
    if [ "$program" = native ]; then
      verdict="$(nice -n 10 "$ROOT/tools/mutate/run-tests.sh" "$NATIVE" native)"
      [ -n "$verdict" ] && { echo "$verdict"; return; }
    else
      wine+=("$program")
    fi
  done
  [ ${#wine[@]} -eq 0 ] && return
  in_private_network nice -n 10 "$ROOT/tools/mutate/run-tests.sh" "$WIN" "${wine[@]}"
}

in_private_network() {
  local unshare_flags=(--mount --net)
  [ "$(id -u)" != 0 ] && unshare_flags+=(--map-root-user)
  unshare "${unshare_flags[@]}" "$ROOT/tools/private-network.sh" "$WIN" "$@"
}

# Tries mutant i in this shell (so that an interrupted run still restores
# its file); VERDICT becomes "caught: WHAT", "survived", "stale" or "does not
# build".
VERDICT=""
try_mutant() {
  local i="$1" programs
  read -r -a programs <<<"$(covering_programs "$i")"
  apply_mutant "$i" || { VERDICT=stale; return; }
  MUTATED="${M_PATH[i]}"
  if build_targets "${programs[@]}"; then
    VERDICT="$(run_programs "${programs[@]}")"
    VERDICT="${VERDICT:+caught: $VERDICT}"
  else
    VERDICT="does not build"
  fi
  restore_file "${M_PATH[i]}"
  MUTATED=""
  VERDICT="${VERDICT:-survived}"
}

# --- The run ------------------------------------------------------------------

# One digest of the scratch sources that the builds and tests read (not the
# mutant list, not the prose).
source_digest() {
  source_files | tr '\0' '\n' | grep -vE '^tools/mutate/|\.md$' |
    (cd "$SRC" && xargs -d '\n' sha1sum 2>/dev/null) | sha1sum | cut -d' ' -f1
}

# The unmutated tree must pass every program the mutants use, or each mutant
# would count as caught. A pass is remembered for the same sources.
check_baseline() {
  local verdict stamp="$SCRATCH/baseline-passed-$ARCH" digest
  say "building the scratch copy (build/mutate)"
  build_targets native "${WINE_PROGRAMS[@]}" || { say "the unmutated scratch copy does not build: see $SCRATCH/build.log"; return 1; }
  digest="$(source_digest)"
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$digest" ] && return 0
  say "running its suite unmutated"
  verdict="$(run_programs native "${WINE_PROGRAMS[@]}")"
  if [ -z "$verdict" ]; then
    echo "$digest" >"$stamp"
    return 0
  fi
  say "the unmutated tree already fails: $verdict"
  return 1
}

print_row() { printf '%-32s %-34s %s\n' "$1" "$2" "$3"; }

main() {
  local i started verdict caught=0 survived=0 stale=0 explained=0 wine_path
  read_mutants
  mkdir -p "$SCRATCH"
  : >"$SCRATCH/build.log"
  sync_scratch
  configure_scratch || { say "cannot configure the scratch builds"; exit 1; }
  check_baseline || exit 1
  started=$SECONDS
  wine_path="x64, 64-bit DLLs under 64-bit Wine"
  [ "$ARCH" = x86 ] && wine_path="x86, 32-bit DLLs under 32-bit Wine"
  echo
  print_row mutant file result
  # The list comes on descriptor 3: the builds and tests may read stdin.
  while read -r i <&3; do
    try_mutant "$i"
    verdict="$VERDICT"
    case "$verdict" in
      caught:*) caught=$((caught + 1)) ;;
      survived)
        survived=$((survived + 1))
        if [ -n "${M_SURVIVES[i]}" ]; then
          explained=$((explained + 1))
          verdict="survived (${M_SURVIVES[i]})"
        else
          verdict="SURVIVED: ${M_WHY[i]}"
        fi
        ;;
      *) stale=$((stale + 1)) ;;
    esac
    print_row "${M_NAME[i]}" "${M_PATH[i]}" "$verdict"
  done 3< <(selected_mutants "$@")
  echo
  printf 'score: %d of %d caught (%d%%); %d survived, %d of them explained; %d stale or not building (not counted)\n' \
    "$caught" $((caught + survived)) $((caught + survived > 0 ? 100 * caught / (caught + survived) : 0)) \
    "$survived" "$explained" "$stale"
  printf 'path: %s; %d s for the mutants after the baseline\n' "$wine_path" $((SECONDS - started))
}

main "$@"
