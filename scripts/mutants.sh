#!/usr/bin/env bash
# Mutation testing: applies each mutant of scripts/mutants.txt (a realistic fault: a text
# of one source file and its replacement) to a copy of the sources, rebuilds that copy
# incrementally and runs the tests on it, and reports which test programs and which of
# their tests catch it. The working tree itself is never touched.
#
#   scripts/mutants.sh [-j N] [-c] [-b TABLE] [-p PROGRAMS] [SELECTION...]
#
#   -j N       compile jobs and test programs at a time (default 2)
#   -c         only check that every selected mutant still applies; builds nothing
#   -b TABLE   compare with the table of an earlier run (docs/mutants-baseline.md): the
#              mutants it caught that this run does not, and those fewer programs catch
#   -p LIST    only these test programs, apart by commas (lote_tests,layers_tests), and
#              no script-driven test: a quicker look at the mutants of one room, whose
#              table says less than a whole run's
#   SELECTION  mutant numbers (7), ranges (3-9) or areas (geo, num, entry, convert,
#              utilities, batch, app, form, qt); all mutants when none is given
#
# The copy and its Debug build (no sanitizers, -O0) live in build/mutants; the table goes
# to build/mutants/report.md and standard output, every failing test name to
# build/mutants/results.tsv. The tests must pass on the unmutated copy first. A mutant
# whose text no longer occurs exactly once in its file is reported as not applicable,
# never skipped in silence. The script-driven CTest tests run too, except debian_package
# (a Release build and a package of their own: minutes, and nothing a mutant changes).
# Exit status 0 when every selected mutant was built and tested (survivors are a
# measurement, not a failure), 1 when one did not apply or compile or, with -b, one the
# earlier table caught survived, 2 when the run could not be made.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/scripts/mutants.txt
work=$root/build/mutants
tree=$work/tree   # the copy the mutants are applied to
bin=$work/build   # its build
runs=$work/runs   # each test program's output, per mutant
report=$work/report.md
results=$work/results.tsv
jobs=2
check_only=false
earlier=""
only=""

usage() { sed -n '/^#   scripts/,/^#              utilities/p' "$0" | sed 's/^# \{0,1\}//'; }
die() { echo "mutants: $*" >&2; exit 2; }

while getopts "j:cb:p:h" opt; do
  case $opt in
    j) [[ $OPTARG =~ ^[1-9][0-9]*$ ]] || die "-j wants a number"; jobs=$OPTARG ;;
    c) check_only=true ;;
    b) [ -f "$OPTARG" ] || die "-b: no table $OPTARG"; earlier=$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG") ;;
    p) only=",$OPTARG," ;;
    h) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

# --- The list ---------------------------------------------------------------------------
# Blocks apart by blank lines; "#" starts a comment line:
#   <number> <area> <description>
#   file <path from the repository's root>
#   from <text that occurs exactly once in the file, to the end of the line>
#   to <its replacement, to the end of the line (nothing: the text is deleted)>
ids=() ; declare -A area desc file from to
current=""
lineno=0
while IFS= read -r line || [ -n "$line" ]; do
  lineno=$((lineno + 1))
  [[ $line =~ ^[[:space:]]*# ]] && continue
  if [[ $line =~ ^[[:space:]]*$ ]]; then current=""; continue; fi
  if [[ -z $current ]]; then
    [[ $line =~ ^([0-9]+)[[:space:]]+([a-z]+)[[:space:]]+(.+)$ ]] ||
      die "$list:$lineno: a mutant starts with its number, area and description"
    current=${BASH_REMATCH[1]}
    [[ -n ${area[$current]:-} ]] && die "$list:$lineno: mutant $current given twice"
    ids+=("$current")
    area[$current]=${BASH_REMATCH[2]}
    desc[$current]=${BASH_REMATCH[3]}
  elif [[ $line =~ ^file[[:space:]]+(.+)$ ]]; then file[$current]=${BASH_REMATCH[1]}
  elif [[ $line =~ ^from[[:space:]](.*)$ ]]; then from[$current]=${BASH_REMATCH[1]}
  elif [[ $line =~ ^to([[:space:]](.*))?$ ]]; then to[$current]=${BASH_REMATCH[2]}
  else die "$list:$lineno: expected file, from or to"
  fi
done < "$list"
for id in "${ids[@]}"; do
  [[ -n ${file[$id]:-} && -n ${from[$id]:-} && -n ${to[$id]+set} ]] ||
    die "mutant $id: needs a file, a from and a to line"
  [[ ${from[$id]} != "${to[$id]}" ]] || die "mutant $id: its replacement is its text"
done

# --- The selection ----------------------------------------------------------------------
selected=()
if [ $# -eq 0 ]; then
  selected=("${ids[@]}")
else
  declare -A want
  for s in "$@"; do
    matched=false
    for id in "${ids[@]}"; do
      if [[ $s =~ ^([0-9]+)-([0-9]+)$ ]]; then
        ((id >= BASH_REMATCH[1] && id <= BASH_REMATCH[2])) && want[$id]=1 && matched=true
      elif [[ $s =~ ^[0-9]+$ ]]; then
        ((id == s)) && want[$id]=1 && matched=true
      elif [[ ${area[$id]} == "$s" ]]; then
        want[$id]=1; matched=true
      fi
    done
    $matched || die "no mutant is $s"
  done
  for id in "${ids[@]}"; do [[ -n ${want[$id]:-} ]] && selected+=("$id"); done
fi

# Where the mutant's text stands in `path`: prints "1 LINE" when it occurs exactly once,
# otherwise the number of times it occurs. With a second path, writes there the file
# with the text replaced.
locate() {
  M_FROM=${from[$1]} M_TO=${to[$1]} perl -e '
    my ($path, $out) = @ARGV;
    open(my $f, "<", $path) or do { print "missing\n"; exit 0 };
    local $/; my $t = <$f>; close $f;
    my ($from, $n, $at, $p) = ($ENV{M_FROM}, 0, -1, 0);
    while (($p = index($t, $from, $p)) >= 0) { $at = $p if $n++ == 0; $p++ }
    if ($n != 1) { print "$n\n"; exit 0 }
    if (defined $out) {
      my $m = $t; substr($m, $at, length $from) = $ENV{M_TO};
      open(my $o, ">", $out) or die "$out: $!"; print $o $m; close $o or die "$out: $!";
    }
    print "1 ", 1 + (substr($t, 0, $at) =~ tr/\n//), "\n";' "$root/${file[$1]}" ${2:+"$2"}
}

# Why a mutant does not apply ("" when it does), and the line it applies at.
applies() {
  local where; where=$(locate "$1")
  case $where in
    "1 "*) at=${where#1 }; return 0 ;;
    missing) why="NOT APPLICABLE: ${file[$1]} does not exist" ;;
    0) why="NOT APPLICABLE: its text is no longer in ${file[$1]}" ;;
    *) why="NOT APPLICABLE: its text occurs $where times in ${file[$1]}" ;;
  esac
  return 1
}

if $check_only; then
  bad=0
  for id in "${selected[@]}"; do
    if applies "$id"; then
      printf '%3s %-9s %s:%s  %s\n' "$id" "${area[$id]}" "${file[$id]}" "$at" "${desc[$id]}"
    else
      printf '%3s %-9s %s  (%s)\n' "$id" "${area[$id]}" "$why" "${desc[$id]}"; bad=$((bad + 1))
    fi
  done
  echo "${#selected[@]} mutants, $bad not applicable"
  [ $bad -eq 0 ]; exit
fi

# --- The copy and its build ---------------------------------------------------------------
parts=(CMakeLists.txt src tests fuzz data dist docs/ejemplos)  # the tests read the example files

# Makes the copy equal to the working tree. A file is copied only where it differs, with
# a new time stamp, so that the build recompiles exactly what changed, a mutated file left
# by an interrupted run included.
sync_tree() {
  local f
  mkdir -p "$tree"
  while IFS= read -r -d '' f; do
    cmp -s "$root/$f" "$tree/$f" && continue
    mkdir -p "$(dirname "$tree/$f")" && cp "$root/$f" "$tree/$f" || die "cannot copy $f"
  done < <(cd "$root" && find "${parts[@]}" -type f -print0)
  while IFS= read -r -d '' f; do
    [ -e "$root/$f" ] || rm -f "$tree/$f"
  done < <(cd "$tree" && find "${parts[@]}" -type f -print0 2>/dev/null)
}

# The file of the mutant being tested, put back however the script ends.
mutated=""
restore() {
  if [ -n "$mutated" ]; then
    cp "$root/$mutated" "$tree/$mutated"
    mutated=""
  fi
}
on_signal() {
  trap - INT TERM
  local p; p=$(jobs -p); [ -n "$p" ] && kill $p 2>/dev/null
  restore
  echo >&2; echo "mutants: interrupted; the copy in $tree is restored" >&2
  exit 130
}
trap on_signal INT TERM
trap restore EXIT

build() {  # $1: log file
  cmake --build "$bin" -j "$jobs" > "$1" 2>&1
}

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.0f", b - a }'; }

echo "Copying the sources to $tree and building them in $bin"
sync_tree
generator=()
command -v ninja >/dev/null 2>&1 && [ ! -f "$bin/CMakeCache.txt" ] && generator=(-G Ninja)
cmake -S "$tree" -B "$bin" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
  -DTALPOR_SANITIZE=OFF -DTALPOR_TESTS=ON -DTALPOR_QT=ON -DTALPOR_BENCH=OFF > "$work/configure.log" 2>&1 ||
  die "cmake failed: see $work/configure.log"
t0=$(seconds)
build "$work/build.log" || die "the unmutated copy does not build: see $work/build.log"
echo "  built in $(elapsed "$t0") s"

# The test programs, and the script-driven CTest tests (names without the "." of a
# GoogleTest test). A program is one its folder's CMakeLists.txt still names: a test moved
# to another folder leaves its old binary in the build, which is not run.
mapfile -t programs < <(find "$bin/tests" -name '*_tests' -type f -perm -u+x | sort | while read -r p; do
  rel=${p#"$bin/"}
  grep -qw "$(basename "$p")" "$tree/$(dirname "$rel")/CMakeLists.txt" 2>/dev/null && echo "$p"
done)
if [ -n "$only" ]; then
  mapfile -t programs < <(for p in "${programs[@]}"; do [[ $only == *",$(basename "$p"),"* ]] && echo "$p"; done)
fi
[ ${#programs[@]} -gt 0 ] || die "no test program in $bin/tests"
mapfile -t scripted < <(cd "$bin" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p' | grep -v '\.' |
                        grep -vx 'debian_package')
[ -n "$only" ] && scripted=()
scripted_regex="^($(IFS='|'; echo "${scripted[*]}"))\$"

declare -A took limit
# Runs the tests into $runs/$1: one process per test program, -j at a time, the slowest
# first; the ones whose program did not change since the stamp $2 (when given) are left
# out, as they cannot fail where the unmutated build passed. Sets `caught` to the failing
# programs and tests, "" when none fails.
run_tests() {
  local dir=$runs/$1 stamp=${2:-} p name changed=false
  rm -rf "$dir"; mkdir -p "$dir"
  # A helper program that changed (talpor, talpor-lote) may be run by any test program.
  if [ -n "$stamp" ] && find "$bin/src" -type f -perm -u+x -newer "$stamp" | grep -q .; then changed=true; fi
  local order; order=$(for p in "${programs[@]}"; do echo "${took[$(basename "$p")]:-999} $p"; done |
                       sort -rn | cut -d' ' -f2-)
  for p in $order; do
    name=$(basename "$p")
    if [ -n "$stamp" ] && ! $changed && [ ! "$p" -nt "$stamp" ]; then continue; fi
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    (
      cd "$(dirname "$p")" || exit
      s=$(seconds)
      QT_QPA_PLATFORM=offscreen timeout -k 5 "${limit[$name]:-600}" "$p" --gtest_brief=1 \
        > "$dir/$name.out" 2>&1
      echo $? > "$dir/$name.rc"
      elapsed "$s" > "$dir/$name.time"
    ) &
  done
  if [ ${#scripted[@]} -gt 0 ] && { [ -z "$stamp" ] || $changed; }; then
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    (
      cd "$bin" && ctest -R "$scripted_regex" --timeout 300 > "$dir/ctest.out" 2>&1
      echo $? > "$dir/ctest.rc"
    ) &
  fi
  wait
  caught=""
  local rc tests
  for p in "${programs[@]}"; do
    name=$(basename "$p")
    [ -f "$dir/$name.rc" ] || continue
    rc=$(cat "$dir/$name.rc")
    [ "$rc" = 0 ] && continue
    tests=$(sed -n 's/^\[  FAILED  \] //p' "$dir/$name.out" | grep -v '^[0-9]* tests\?, listed below' |
            sed 's/ (.*//; s/, where .*//' | sort -u | paste -sd' ')
    if [ -z "$tests" ]; then
      case $rc in
        124|137) tests="(timed out)" ;;
        *) if [ "$rc" -gt 128 ]; then tests="(killed by signal $((rc - 128)))"; else tests="(exit $rc)"; fi ;;
      esac
    fi
    caught+="$name: $tests"$'\n'
  done
  if [ -f "$dir/ctest.rc" ] && [ "$(cat "$dir/ctest.rc")" != 0 ]; then
    tests=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p' "$dir/ctest.out" | sort -u | paste -sd' ')
    caught+="ctest: ${tests:-(exit $(cat "$dir/ctest.rc"))}"$'\n'
  fi
  caught=${caught%$'\n'}
}

echo "Running the tests on the unmutated copy"
t0=$(seconds)
run_tests baseline
[ -z "$caught" ] || { echo "$caught" >&2; die "the tests fail without any mutant: fix them first"; }
baseline_time=$(elapsed "$t0")
# The slowest programs start first; a mutant that makes a program loop ends at ten times
# its usual time (a minute at least).
for p in "${programs[@]}"; do
  name=$(basename "$p")
  took[$name]=$(cat "$runs/baseline/$name.time")
  limit[$name]=$(( took[$name] * 10 > 60 ? took[$name] * 10 : 60 ))
done
echo "  passed in $baseline_time s ($(for p in "${programs[@]}"; do n=$(basename "$p"); printf '%s %ss, ' "$n" "${took[$n]}"; done | sed 's/, $//'))"

# --- The mutants --------------------------------------------------------------------------
# One table cell: each catching program with its failing tests, a few names at most.
cell() {
  local line name tests n out=""
  while IFS= read -r line; do
    name=${line%%: *}; tests=${line#*: }
    read -ra t <<< "$tests"; n=${#t[@]}
    if [[ $tests == \(* ]]; then out+="$name $tests; "
    elif [ "$n" -le 4 ]; then out+="$name ($tests); "
    else out+="$name ($n: ${t[*]:0:3} …); "
    fi
  done <<< "$1"
  echo "${out%; }"
}

: > "$results"
rows=()
n_caught=0 n_survived=0 n_na=0 n_broken=0
total_start=$(seconds)
build_total=0 test_total=0 tested=0
k=0
for id in "${selected[@]}"; do
  k=$((k + 1))
  where="${file[$id]}"
  printf '[%d/%d] %s %s: %s ... ' "$k" "${#selected[@]}" "$id" "${area[$id]}" "${desc[$id]}"
  if ! applies "$id"; then
    verdict=$why; n_na=$((n_na + 1))
  else
    where="${file[$id]}:$at"
    stamp=$work/stamp; touch "$stamp"; sleep 1  # time stamps of whole seconds on some file systems
    mutated=${file[$id]}
    locate "$id" "$tree/$mutated" > /dev/null
    t0=$(seconds)
    if ! build "$work/mutant-$id.log"; then
      bt=$(elapsed "$t0")
      verdict="DOES NOT COMPILE (see build/mutants/mutant-$id.log)"; n_broken=$((n_broken + 1))
      restore
    else
      bt=$(elapsed "$t0"); rm -f "$work/mutant-$id.log"
      t1=$(seconds)
      run_tests "$id" "$stamp"
      tt=$(elapsed "$t1")
      restore
      build_total=$((build_total + bt)); test_total=$((test_total + tt)); tested=$((tested + 1))
      if [ -z "$caught" ]; then
        verdict="**SURVIVED**"; n_survived=$((n_survived + 1))
      else
        verdict=$(cell "$caught"); n_caught=$((n_caught + 1))
        while IFS= read -r line; do printf '%s\t%s\t%s\n' "$id" "${line%%: *}" "${line#*: }" >> "$results"; done <<< "$caught"
      fi
      verdict_time=" (build ${bt} s, tests ${tt} s)"
    fi
  fi
  echo "${verdict}${verdict_time:-}"; verdict_time=""
  [[ $verdict == NOT* || $verdict == DOES* ]] && printf '%s\tnone\t%s\n' "$id" "$verdict" >> "$results"
  [[ $verdict == "**SURVIVED**" ]] && printf '%s\tnone\tSURVIVED\n' "$id" >> "$results"
  rows+=("| $id | ${area[$id]} | ${desc[$id]} | \`$where\` | $verdict |")
done
total=$(elapsed "$total_start")

mean() { [ "$2" -gt 0 ] && echo $(( ($1 + $2 / 2) / $2 )) || echo 0; }
summary="${#selected[@]} mutants: $n_caught caught, $n_survived survived"
[ $n_na -gt 0 ] && summary+=", $n_na not applicable"
[ $n_broken -gt 0 ] && summary+=", $n_broken do not compile"
summary+=". $total s in all (-j $jobs); a mutant takes $(mean $((build_total + test_total)) $tested) s on average"
summary+=" (build $(mean $build_total $tested) s, tests $(mean $test_total $tested) s)."
{
  echo "# Mutants"
  echo
  echo "Each mutant applied alone to a copy of \`$(cd "$root" && git rev-parse --short HEAD 2>/dev/null || echo '?')\`, built (Debug, -O0), and the tests run: each cell names the test programs that fail and their failing tests (\`scripts/mutants.sh\`, list in \`scripts/mutants.txt\`)."
  [ -n "$only" ] && echo && echo "Only these test programs were run: ${only:1:-1}."
  echo
  echo "| # | Area | Mutant | Where | Caught by |"
  echo "|---|------|--------|-------|-----------|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "$summary"
} > "$report"
echo
cat "$report"
echo
echo "Table: $report; every failing test: $results"
status=0
[ $n_na -eq 0 ] && [ $n_broken -eq 0 ] || status=1

# The rows of a table as "number, caught / survived / none, catching programs".
table_rows() {
  awk -F' [|] ' '/^[|] [0-9]+ [|]/ {
    id = $1; sub(/^[|] /, "", id); v = $5; sub(/ [|]$/, "", v); p = ""
    if (v ~ /SURVIVED/) s = "survived"; else if (v ~ /^(NOT APPLICABLE|DOES NOT COMPILE)/) s = "none"; else s = "caught"
    if (s == "caught") { n = split(v, part, "; "); for (i = 1; i <= n; i++) { w = part[i]; sub(/[ (].*/, "", w); p = p (p == "" ? "" : " ") w } }
    print id "\t" s "\t" p }' "$1"
}
if [ -n "$earlier" ]; then
  declare -A was was_by
  while IFS=$'\t' read -r id s p; do was[$id]=$s; was_by[$id]=$p; done < <(table_rows "$earlier")
  lost="" fewer=""
  while IFS=$'\t' read -r id s p; do
    [ "${was[$id]:-}" = caught ] || continue
    if [ "$s" != caught ]; then lost+=" $id"; continue; fi
    gone=""
    for prog in ${was_by[$id]}; do [[ " $p " == *" $prog "* ]] || gone+=" $prog"; done
    [ -z "$gone" ] || fewer+=$'\n'"  $id: no longer caught by$gone"
  done < <(table_rows "$report")
  echo
  echo "Against ${earlier#"$root"/}:"
  if [ -n "$lost" ]; then echo "  caught there, not caught now:$lost"; status=1; else echo "  every mutant it caught is caught now"; fi
  [ -z "$fewer" ] || echo "  caught by fewer programs:$fewer"
fi
exit $status
