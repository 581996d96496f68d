#!/bin/sh
# Recite next to pocketsphinx_batch on public recordings: recognized text right or wrong and
# seconds per file (whole process, loading included), both on the same conditioned audio
# (16 kHz 16-bit mono raw made by sox) and with the same candidate texts (a JSGF grammar of them
# for pocketsphinx). Also Recite with 32 mixtures when that model set can be made, and the
# "assess" score of each recording read against its own text and against a text with one word
# changed.
# Usage: sh scripts/eval.sh [RELEASE_DIR [EN_DIR]]   (run from the top of the tree)
set -eu
RELEASE=$(cd "${1:-build/release}" && pwd)
EN=${2:-build/en-us}
TOP=$(pwd)
DATA=$TOP/data/en-us
SPHINX=/usr/share/pocketsphinx/model/en-us
TESTDATA=/usr/share/pocketsphinx/test/data
ALSA=/usr/share/sounds/alsa

for f in "$EN/models.macb" "$EN/cmudict.wpab"; do
  if [ ! -f "$f" ]; then
    echo "eval.sh: $f is missing; run 'make demo' (or 'make import-en') first" >&2
    exit 1
  fi
done
EN=$(cd "$EN" && pwd)
for tool in pocketsphinx_batch sox; do
  command -v $tool >/dev/null || { echo "eval.sh: $tool is not installed (scripts/setup.sh)" >&2; exit 1; }
done

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# 32-mixture models, made once beside the 8-mixture ones when the importer can write them.
M32=$EN/models32.macb
if [ ! -f "$M32" ]; then
  "$RELEASE/tools/recite-import-sphinx" "$SPHINX/en-us" "$M32" --mixtures 32 >"$TMP/m32.log" 2>&1 || rm -f "$M32"
fi

# A parameter file for function $1 and model set $2, absolute paths.
writePrm() {
  cat <<EOF
function = $1
language = english
macFile = $2
wpaFile = $EN/cmudict.wpab
tnmFile = $DATA/english.tnm
featureConfigFile = $DATA/mfcc.cfg
qiYinFile = $DATA/qiyin.txt
phoneRank2scoreParamFile = $DATA/rank2score.txt
scoreDiscountParamFile = $DATA/discount.txt
cmParamFile = $DATA/cmparams.txt
outputDir = $TMP/out
useEpd = 0
maxCandidateNum = 1000
probTh = 400
comparisonMode = 1
EOF
}
writePrm recog "$EN/models.macb" >"$TMP/recog8.prm"
writePrm recog "$M32" >"$TMP/recog32.prm"
writePrm assess "$EN/models.macb" >"$TMP/assess8.prm"
echo "usePaddedHardSp = 0" >>"$TMP/assess8.prm"
mkdir -p "$TMP/out"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# One word changed: the last word through a small map, else "table".
wrongText() {
  echo "$1" | awk '{ m["center"]="left"; m["left"]="right"; m["right"]="center"; m["meters"]="miles";
    m["clubs"]="hearts"; m["hearts"]="spades"; m["spades"]="clubs"; m["five"]="nine";
    w = $NF; $NF = (w in m) ? m[w] : "table"; print }'
}

# Recite's recognized text for prm $1, audio $2, candidate file $3 (prints "text|seconds").
reciteRecog() {
  rm -f "$TMP/out/recogResult.txt"
  t0=$(now)
  "$RELEASE/app/recite" "$1" "$2" "$3" >"$TMP/recite.log" 2>&1 || true
  t1=$(now)
  text=$(sed -n 's/^Text=//p' "$TMP/out/recogResult.txt" 2>/dev/null || true)
  echo "$text|$(elapsed "$t0" "$t1")"
}

reciteScore() {
  rm -f "$TMP/out/score.txt"
  "$RELEASE/app/recite" "$TMP/assess8.prm" "$1" "$2" >"$TMP/assess.log" 2>&1 || true
  cat "$TMP/out/score.txt" 2>/dev/null || echo "-"
}

# pocketsphinx_batch on one conditioned file $1 (basename without .raw) with grammar $2.
sphinxRecog() {
  echo "$1" >"$TMP/one.ctl"
  rm -f "$TMP/one.hyp"
  t0=$(now)
  pocketsphinx_batch -adcin yes -adchdr 0 -cepdir "$TMP/audio" -cepext .raw -ctl "$TMP/one.ctl" \
    -jsgf "$2" -hmm "$SPHINX/en-us" -dict "$SPHINX/cmudict-en-us.dict" -hyp "$TMP/one.hyp" \
    -logfn /dev/null >/dev/null 2>&1 || true
  t1=$(now)
  text=$(sed 's/ *([^()]*)$//' "$TMP/one.hyp" 2>/dev/null || true)
  echo "$text|$(elapsed "$t0" "$t1")"
}

# The JSGF grammar of the lines of candidate file $1.
writeGrammar() {
  echo "#JSGF V1.0;"
  echo "grammar candidates;"
  awk 'BEGIN { printf "public <utt> = " } { printf "%s( %s )", (NR > 1 ? " | " : ""), $0 } END { print ";" }' "$1"
}

mkdir -p "$TMP/audio"
# Sets: name, candidate file, then "audio<TAB>truth" lines.
: >"$TMP/items"
addSet() { # set, candidates file, list file (audio<TAB>truth)
  writeGrammar "$2" >"$TMP/$1.gram"
  while IFS='	' read -r audio truth; do
    printf '%s\t%s\t%s\t%s\n' "$1" "$audio" "$truth" "$2" >>"$TMP/items"
  done <"$3"
}

# alsa: the eight phrases.
: >"$TMP/alsa.txt"; : >"$TMP/alsa.list"
for f in Front_Center Front_Left Front_Right Rear_Center Rear_Left Rear_Right Side_Left Side_Right; do
  truth=$(echo "$f" | tr 'A-Z_' 'a-z ')
  echo "$truth" >>"$TMP/alsa.txt"
  printf '%s\t%s\n' "$ALSA/$f.wav" "$truth" >>"$TMP/alsa.list"
done
addSet alsa "$TMP/alsa.txt" "$TMP/alsa.list"

# goforward: go forward|backward one..ten meters (the sentences of its grammar).
: >"$TMP/goforward.txt"
for d in forward backward; do
  for n in one two three four five six seven eight nine ten; do echo "go $d $n meters" >>"$TMP/goforward.txt"; done
done
printf '%s\t%s\n' "$TESTDATA/goforward.raw" "go forward ten meters" >"$TMP/goforward.list"
addSet goforward "$TMP/goforward.txt" "$TMP/goforward.list"

# cards and librivox: the transcriptions are the candidates.
for set in cards librivox; do
  : >"$TMP/$set.txt"; : >"$TMP/$set.list"
  sed 's/<s> *//; s/ *<\/s>//; s/ *(\([^()]*\))$/\t\1/' "$TESTDATA/$set/"*transcription | while IFS='	' read -r text id; do
    text=$(echo "$text" | tr -s ' ')
    echo "$text" >>"$TMP/$set.txt"
    printf '%s\t%s\n' "$TESTDATA/$set/$id.wav" "$text" >>"$TMP/$set.list"
  done
  addSet $set "$TMP/$set.txt" "$TMP/$set.list"
done

ok() { [ "$1" = "$2" ] && echo ok || echo WRONG; }

printf '%-10s %-42s | %-5s %6s | %-5s %6s | %-5s %6s | %7s %7s\n' set file recite8 s recite32 s sphinx s "score" "wrong"
n=0; r8=0; r32=0; ps=0; sep=0; t8=0; t32=0; tps=0
while IFS='	' read -r set audio truth cands; do
  id=$(basename "$audio" | sed 's/\.[^.]*$//')
  # Conditioned audio for both decoders.
  sox "$audio" -t raw -r 16000 -c 1 -b 16 -e signed-integer -L "$TMP/audio/$id.raw" 2>/dev/null ||
    sox -t raw -r 16000 -c 1 -b 16 -e signed-integer -L "$audio" -t raw "$TMP/audio/$id.raw"
  raw=$TMP/audio/$id.raw
  a=$(reciteRecog "$TMP/recog8.prm" "$raw" "$cands")
  if [ -f "$M32" ]; then b=$(reciteRecog "$TMP/recog32.prm" "$raw" "$cands"); else b="-|0"; fi
  c=$(sphinxRecog "$id" "$TMP/$set.gram")
  own=$(reciteScore "$raw" "$truth")
  wrong=$(reciteScore "$raw" "$(wrongText "$truth")")
  o8=$(ok "${a%|*}" "$truth"); o32=$(ok "${b%|*}" "$truth"); ops=$(ok "${c%|*}" "$truth")
  [ -f "$M32" ] || o32=-
  printf '%-10s %-42s | %-5s %6s | %-5s %6s | %-5s %6s | %7s %7s\n' "$set" "$id" "$o8" "${a#*|}" "$o32" "${b#*|}" \
    "$ops" "${c#*|}" "$own" "$wrong"
  n=$((n + 1))
  [ "$o8" = ok ] && r8=$((r8 + 1))
  [ "$o32" = ok ] && r32=$((r32 + 1))
  [ "$ops" = ok ] && ps=$((ps + 1))
  awk -v a="$own" -v b="$wrong" 'BEGIN { exit !(a + 0 > b + 0) }' && sep=$((sep + 1))
  t8=$(awk -v s="$t8" -v x="${a#*|}" 'BEGIN { print s + x }')
  t32=$(awk -v s="$t32" -v x="${b#*|}" 'BEGIN { print s + x }')
  tps=$(awk -v s="$tps" -v x="${c#*|}" 'BEGIN { print s + x }')
done <"$TMP/items"
echo
echo "correct: recite 8 mixtures $r8/$n, recite 32 mixtures $([ -f "$M32" ] && echo "$r32/$n" || echo "n/a"), pocketsphinx $ps/$n"
awk -v n="$n" -v a="$t8" -v b="$t32" -v c="$tps" \
  'BEGIN { printf "seconds per file: recite 8 mixtures %.3f, recite 32 mixtures %.3f, pocketsphinx %.3f\n", a / n, b / n, c / n }'
echo "assess: own text scored above the one-word-changed text for $sep/$n recordings"
