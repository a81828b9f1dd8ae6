#!/bin/sh
# Runs a command with its output going through a file, shown when it ends. A Wine test that happens to
# start the prefix's wineserver hands its output to it and to Wine's services; CTest would then wait for
# the pipe to close, which is not before the server ends, long after the test when other tests keep the
# prefix busy.
log=$(mktemp)
"$@" >"$log" 2>&1
status=$?
cat "$log"
rm -f "$log"
exit $status
