#!/bin/sh
# Test launcher: VAR=value pairs, then the test program and its arguments.
# Each test process gets its own settings, data and cache folders, removed afterwards,
# so tests that run side by side never read or write each other's settings.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vktest.XXXXXX") || exit 1
mkdir -p "$scratch/config" "$scratch/data" "$scratch/cache"
env XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_CACHE_HOME="$scratch/cache" "$@"
status=$?
rm -rf "$scratch"
exit $status
