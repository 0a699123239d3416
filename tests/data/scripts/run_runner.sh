#!/bin/sh
# Runs the script runner on one script and checks how it ended:
#   run_runner.sh RUNNER SCRIPT STATUS STDOUT STDERR [interrupt]
# STATUS: the expected exit status; STDOUT: the whole standard output, with
# \n escapes; STDERR: a text that standard error must contain (may be empty).
# With "interrupt" the runner gets SIGINT as soon as its first line arrives;
# with "filelimit" it runs in the scratch folder, where the files it writes
# stop growing at 512 bytes (their writes then fail with EFBIG).
runner=$1 script=$2 status=$3 stdout=$4 stderr=$5 mode=$6
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT

if [ "$mode" = interrupt ]; then
    mkfifo "$dir/pipe" || exit 1
    "$runner" "$script" > "$dir/pipe" 2> "$dir/err" &
    pid=$!
    exec 3< "$dir/pipe"
    IFS= read -r first <&3
    kill -INT "$pid"
    rest=$(cat <&3)
    wait "$pid"
    got=$?
    { printf '%s\n' "$first"; [ -n "$rest" ] && printf '%s\n' "$rest"; } > "$dir/out"
elif [ "$mode" = filelimit ]; then
    (cd "$dir" && trap '' XFSZ && ulimit -f 1 && exec "$runner" "$script") > "$dir/out" 2> "$dir/err"
    got=$?
else
    "$runner" "$script" > "$dir/out" 2> "$dir/err"
    got=$?
fi

printf '%b' "$stdout" > "$dir/expected"
failed=0
if [ "$got" != "$status" ]; then
    echo "exit status $got, expected $status"
    failed=1
fi
if ! cmp -s "$dir/out" "$dir/expected"; then
    echo "standard output differs:"; cat "$dir/out"
    failed=1
fi
if [ -n "$stderr" ] && ! grep -qF -- "$stderr" "$dir/err"; then
    echo "standard error lacks: $stderr"; cat "$dir/err"
    failed=1
fi
exit $failed
