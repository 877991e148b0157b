#!/bin/sh
# Runs a test with its temporary files on tmpfs when /dev/shm has room for them (10 GiB),
# since the slow cases write gigabytes; elsewhere on the usual temporary folder.
free_kib=$(df -Pk /dev/shm 2>/dev/null | awk 'NR == 2 { print $4 }')
if [ -n "$free_kib" ] && [ "$free_kib" -gt 10485760 ] && [ -w /dev/shm ]; then
  TMPDIR=/dev/shm
  export TMPDIR
fi
exec "$@"
