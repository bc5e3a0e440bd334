#!/bin/sh
# Prepares or ends the Wine environment that the Windows end-to-end tests
# run brisvel.exe in.
#   wine_prefix.sh start PREFIX WINE WINESERVER   fresh prefix, server started and warmed
#   wine_prefix.sh stop  PREFIX WINE WINESERVER   server stopped
# Every Wine program runs with its standard streams redirected: a server that
# inherited the caller's pipes would keep the test runner waiting.
set -eu
action=$1
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$3
server=$4

case "$action" in
start)
    "$server" -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$WINEPREFIX.runs"
    mkdir -p "$WINEPREFIX"
    "$server" -p </dev/null >/dev/null 2>&1
    "$wine" wineboot -i </dev/null >"$WINEPREFIX.log" 2>&1
    echo "Wine prefix ready in $WINEPREFIX"
    ;;
stop)
    "$server" -k </dev/null >/dev/null 2>&1 || true
    runs=$(cat "$WINEPREFIX.runs" 2>/dev/null | wc -l)
    echo "Wine server stopped; brisvel.exe ran $runs times under Wine"
    ;;
*)
    echo "usage: $0 start|stop PREFIX WINE WINESERVER" >&2
    exit 2
    ;;
esac
