#!/usr/bin/env bash
# scripts/demo --cli with the programs already built: the lists before and after, every demo number
# synchronised except those the rules refuse (with the reason logged), what the sites then hold, no
# daemon left behind, and a second run straight after the first; then a run stopped by SIGTERM
# while its daemons serve.
set -uo pipefail
src=$1 bin=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qob-demo-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
dir="$scratch/demo"
status=0
fail() { echo "FAIL: $*"; status=1; }
daemons_left() { pgrep -f -- "zentsim serve $dir/" || true; }

run_demo() {
  QOB_DEMO_BIN="$bin" "$src/scripts/demo" --cli --no-build --dir "$dir" >"$scratch/out.txt" 2>&1
}

for round in 1 2; do
  if ! run_demo; then
    fail "round $round: scripts/demo --cli failed"; sed 's/^/| /' "$scratch/out.txt"; exit 1
  fi
  out=$(cat "$scratch/out.txt")
  for heading in "== 1. qob-cli download" "== 2. qob-cli sync --dry-run" "== 3. qob-cli sync" \
                 "== 4. qob-cli download again" "== What changed"; do
    grep -qF -- "$heading" <<<"$out" || fail "round $round: no \"$heading\" in the output"
  done
  left=$(daemons_left)
  [ -z "$left" ] || { fail "round $round: daemons survived the demo: $left"; kill $left 2>/dev/null; }
done

before="$dir/sites/before.txt" after="$dir/sites/after.txt"
[ "$(wc -l <"$before")" -ge 300 ] || fail "the list before has only $(wc -l <"$before") rows"
[ "$(cut -f1 "$before" | sort)" = "$(cut -f1 "$after" | sort)" ] || fail "the numbers before and after differ"
unsync_before=$(awk -F'\t' '$6 != "Synchronized"' "$before" | wc -l)
[ "$unsync_before" -ge 100 ] || fail "only $unsync_before numbers were unsynchronised before"
# Afterwards only what the rules refuse: 1140, whose names differ between North and South; 4000, a
# real extension at North and South; 5100, a workgroup at East and an extension at South.
left_over=$(awk -F'\t' '$6 != "Synchronized" { print $1 }' "$after" | sort | tr '\n' ' ')
[ "$left_over" = "1140 4000 5100 " ] || fail "unsynchronised afterwards: \"$left_over\", expected \"1140 4000 5100 \""
grep -q "Extension 1140 have different first name" "$dir/sites/sync.log" || fail "the sync log gives no reason for 1140"
grep -q "extension 4000 is a physical or IP extension on more than one site" <<<"$out" || fail "no reason shown for 4000"
grep -q "extension 5100 is an extension on one site and a group on another" <<<"$out" || fail "no reason shown for 5100"
awk -F'\t' '$1 == "1140" && $3 == "XXXXXXX"' "$after" | grep -q . || fail "1140's names no longer differ"
# The wireless handsets have their copies now, with East their home.
awk -F'\t' '$1 == "3205" && $6 == "Synchronized" && $7 == "East"' "$after" | grep -q . || fail "3205 is not East's"

# What the servers hold (the daemons are gone, the state files stay).
dump() { "$bin/zentsim" dump "$dir/sites/$1.json"; }
record() {  # SITE NUMBER FIELD
  dump "$1" | /usr/bin/python3 -c "import json,sys; d=json.load(sys.stdin)
r=[r for r in d['records'] if r['number']==sys.argv[1]]; print(r[0][sys.argv[2]] if r else 'missing')" "$2" "$3"
}
[ "$(record East 2100 fwd_dial_string)" = 822100 ] || fail "East's copy of 2100 does not dial South: $(record East 2100 fwd_dial_string)"
[ "$(record South 1100 fwd_dial_string)" = 811100 ] || fail "South has no copy of North's 1100"
[ "$(record North 3079 fwd_email_addr)" = ext3079@east.example ] || fail "North's copy of 3079 mails $(record North 3079 fwd_email_addr)"
[ "$(record North 1100 type)" = "$(record North 1000 type)" ] || fail "North's own 1100 changed its type"
[ "$(record East 5000 fwd_dial_string)" = 815000 ] || fail "East has no copy of North's workgroup 5000"
[ "$(record North 4000 type)" = "$(record South 4000 type)" ] || fail "4000 was changed although refused"

# A directory that holds other things is refused and left as it was.
mkdir -p "$scratch/other/work" && echo keep >"$scratch/other/work/notes"
QOB_DEMO_BIN="$bin" "$src/scripts/demo" --cli --no-build --dir "$scratch/other" >"$scratch/out3.txt" 2>&1 &&
  fail "the demo took a directory that holds other files"
grep -q "holds files the demo did not make" "$scratch/out3.txt" || fail "no reason given: $(cat "$scratch/out3.txt")"
[ "$(cat "$scratch/other/work/notes" 2>/dev/null)" = keep ] || fail "the demo changed a directory it refused"

# Stopped while its daemons serve: they go too. (A background job of a script ignores SIGINT, so
# the test sends SIGTERM; Ctrl+C in a terminal takes the same way out.)
QOB_DEMO_BIN="$bin" "$src/scripts/demo" --cli --no-build --dir "$dir" >"$scratch/out2.txt" 2>&1 &
demo=$!
for _ in $(seq 1 3000); do
  grep -q "writing .*Plexar.xml" "$scratch/out2.txt" && break
  sleep 0.1
done
[ -n "$(daemons_left)" ] || fail "no daemon was running when the demo was stopped"
kill -TERM "$demo"
wait "$demo"
code=$?
[ $code = 143 ] || fail "the stopped demo exited $code, expected 143"
left=$(daemons_left)
[ -z "$left" ] || { fail "daemons survived a stopped demo: $left"; kill $left 2>/dev/null; }

[ $status = 0 ] && echo "demo: both runs and the stopped run behaved"
exit $status
