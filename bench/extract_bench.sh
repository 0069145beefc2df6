#!/bin/sh
# Extraction benchmark: a ~200 MB payload of 5,000 files in 50 folders is packed with pelpack,
# then unpacked with `pelpack extract` and, alternating with it, with `tar -xf` of the same tree
# (an uncompressed tar made once) into fresh folders on the same disk (~3 GB at the peak).
# Prints the median of RUNS runs of each, their ratio, and pelpack's peak resident memory
# against the archive size.
# Targets: pelpack within 1.2x of tar; peak memory at most 3x the archive + 4 MB.
# Usage: extract_bench.sh PELPACK BENCH_MAKE_PAYLOAD WORKDIR   (RUNS=5 FILES=5000 FOLDERS=50
#        MEAN_BYTES=40000 override the shape; WORKDIR is removed afterwards)
set -eu
PELPACK=$1
MAKE_PAYLOAD=$2
W=$3
RUNS=${RUNS:-5}
FILES=${FILES:-5000}
FOLDERS=${FOLDERS:-50}
MEAN_BYTES=${MEAN_BYTES:-40000}

rm -rf "$W"
mkdir -p "$W"
trap 'rm -rf "$W"' EXIT INT TERM

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "generating the payload tree"
"$MAKE_PAYLOAD" "$W/src" "$FILES" "$FOLDERS" "$MEAN_BYTES"
SOURCE_DATE_EPOCH=1700000000 "$PELPACK" pack "$W/src" -o "$W/payload.bin"
tar -cf "$W/payload.tar" -C "$W/src" .
archive=$(wc -c <"$W/payload.bin")
echo "archive: $archive bytes; tar: $(wc -c <"$W/payload.tar") bytes"

# One untimed run of each first, so that neither pays alone for warming caches and memory.
"$PELPACK" extract "$W/payload.bin" "$W/warm-pelpack"
mkdir "$W/warm-tar"
tar -xf "$W/payload.tar" -C "$W/warm-tar"
diff -r -q "$W/warm-tar" "$W/warm-pelpack" >/dev/null || { echo "the two extractions differ" >&2; exit 1; }

: >"$W/pelpack.ms"
: >"$W/tar.ms"
: >"$W/pelpack.kb"
: >"$W/pelpack.cpu"
: >"$W/tar.cpu"
i=1
while [ "$i" -le "$RUNS" ]; do
  # Alternate which goes first, and start each from written-back caches.
  for tool in $( [ $((i % 2)) = 1 ] && echo "pelpack tar" || echo "tar pelpack" ); do
    # Every run gets its own new folder and nothing is deleted until the end: on ext4, creating
    # files right after a large deletion costs far more than the extraction itself.
    out="$W/out-$tool-$i"
    sync
    start=$(now_ms)
    if [ "$tool" = pelpack ]; then
      /usr/bin/time -f "%M %U %S" -o "$W/rss" "$PELPACK" extract "$W/payload.bin" "$out" \
        2>"$W/err" || { cat "$W/err" >&2; exit 1; }
      end=$(now_ms)
      cut -d ' ' -f 1 "$W/rss" >>"$W/pelpack.kb"
    else
      mkdir "$out"
      /usr/bin/time -f "%M %U %S" -o "$W/rss" tar -xf "$W/payload.tar" -C "$out"
      end=$(now_ms)
    fi
    echo $((end - start)) >>"$W/$tool.ms"
    cpu=$(awk '{ printf "%d", ($2 + $3) * 1000 }' "$W/rss")
    echo "$cpu" >>"$W/$tool.cpu"
    echo "run $i $tool: $((end - start)) ms (cpu $cpu ms)"
  done
  i=$((i + 1))
done

pel=$(median <"$W/pelpack.ms")
tar=$(median <"$W/tar.ms")
pel_cpu=$(median <"$W/pelpack.cpu")
tar_cpu=$(median <"$W/tar.cpu")
peak_kb=$(sort -n "$W/pelpack.kb" | tail -n 1)
awk -v pel="$pel" -v tar="$tar" -v pc="$pel_cpu" -v tc="$tar_cpu" -v kb="$peak_kb" -v a="$archive" 'BEGIN {
  ratio = pel / tar
  mem = kb * 1024 / a
  limit = 3 + 4 * 1048576 / a
  printf "median pelpack extract: %d ms\n", pel
  printf "median tar -xf:         %d ms\n", tar
  printf "time ratio pelpack/tar: %.2f (target <= 1.20: %s)\n", ratio, ratio <= 1.2 ? "met" : "MISSED"
  printf "median cpu (user+sys):  pelpack %d ms, tar %d ms\n", pc, tc
  printf "peak RSS pelpack extract: %d KB = %.2f x archive (target <= %.2f: %s)\n", kb, mem, limit,
         mem <= limit ? "met" : "MISSED"
}'
