#!/usr/bin/env bash
# Runs a command inside the private network namespace that ./quarvel made with
# unshare --mount --net: brings loopback up, maps the library's built-in host
# names and this machine's name to 127.0.0.1, makes 127.0.0.1 the only name
# server, and starts a wineserver of its own (it creates the sockets),
# stopped again before leaving.
#   private-network.sh WIN_BUILD_DIR COMMAND [ARGS...]
set -uo pipefail
win_build="$1"
shift
export WINEPREFIX="${WINEPREFIX:-$(cd "$win_build/.." && pwd)/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# The Wine loader of the chosen architecture (./quarvel sets it and WINEARCH).
wine="${QUARVEL_WINE:-wine}"

ip link set lo up

hosts="$(mktemp)"
{
  echo "127.0.0.1 localhost"
  echo "127.0.0.1 $(hostname)"
  while read -r host; do
    [ -n "$host" ] && echo "127.0.0.1 $host"
  done <"$win_build/built-in-hosts.txt"
} >"$hosts"
mount --bind "$hosts" /etc/hosts

# The only name server is on loopback: nothing listens there unless a test
# plays one (a look-up fails at once), and no question leaves the machine.
resolv="$(mktemp)"
echo "nameserver 127.0.0.1" >"$resolv"
mount --bind "$resolv" /etc/resolv.conf
# A connect whose attempts are dropped gives up after 7 s (1 + 2 + 4), not
# the two minutes of the default: the bench times such a line.
echo 2 >/proc/sys/net/ipv4/tcp_syn_retries 2>/dev/null || true

# Wine names files in the Unix locale's character set. A zh_CN.GB2312 locale
# compiled into the build tree (no system locale is installed or changed)
# gives a folder named in GBK a Unix name; without it such a folder cannot
# be made.
locales="$(cd "$win_build/.." && pwd)/locale"
if [ ! -d "$locales/zh_CN.GB2312" ]; then
  mkdir -p "$locales"
  localedef -i zh_CN -f GB2312 "$locales/zh_CN.GB2312" >/dev/null 2>&1 ||
    echo "private-network.sh: no zh_CN.GB2312 locale: folders named in GBK cannot be made" >&2
fi
export LOCPATH="$locales"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  WINEARCH="${WINEARCH:-win32}" LC_ALL=zh_CN.GB2312 "$wine" wineboot -i </dev/null >/dev/null 2>&1
  # wineboot leaves a short-lived wineserver behind; the persistent one below
  # can only start once it is gone.
  wineserver -w </dev/null >/dev/null 2>&1
fi
wineserver -p </dev/null >/dev/null 2>&1
LC_ALL=zh_CN.GB2312 "$wine" cmd /c exit </dev/null >/dev/null 2>&1
stop_wine() { wineserver -k </dev/null >/dev/null 2>&1 || true; }
trap stop_wine EXIT

"$@"
