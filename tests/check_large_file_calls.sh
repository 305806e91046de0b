#!/usr/bin/env bash
# A 32-bit library built with 64-bit file offsets and times imports the
# 64-bit forms of the calls whose types they change (openat64, lseek64,
# __fstatat64_time64), never the plain 32-bit ones.
#   check_large_file_calls.sh LIBRARY
set -euo pipefail
library=$1

imports=$(readelf --dyn-syms -W "$library" | awk '$7 == "UND" {sub(/@.*/, "", $8); print $8}')
narrow=$(grep -xE 'open|openat|creat|pread|pwrite|lseek|ftruncate|truncate|fallocate|posix_fallocate|stat|fstat|lstat|fstatat|statfs|fstatfs|statvfs|fstatvfs|fcntl|readdir|mmap|clock_gettime|time|gettimeofday|futimens|utimensat|__fxstat|__fxstatat|__xstat|__lxstat' <<<"$imports" || true)
[ -z "$narrow" ] || { echo "the library imports 32-bit file or time calls:"; echo "$narrow"; exit 1; }
grep -qxE 'openat64|lseek64|__fstat64_time64' <<<"$imports" ||
  { echo "the library imports none of the 64-bit forms:"; echo "$imports"; exit 1; }
echo "large files: only 64-bit file and time calls imported"
