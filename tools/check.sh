#!/usr/bin/env bash
# One check of this machine's real network through Quarvel.dll, as the
# dial-up client makes it: an installation in the Wine prefix (rules file,
# registry values "InstallPath" and "channel"), then quarvel-check's
# redirect and classify, then the end of the library's log.
#   check.sh WIN_BUILD_DIR [--province CODE] [--dll current|earlier]
#                          [--timeout MS] [--rules FILE]
# CODE: 27 ShanXi, 13 AnHui, 21 GuangXi, 0 none (default). Without --rules
# the simulator's sample rules file is used. Exits 0 when the library finds
# the network up, 1 when it does not, 2 for a usage error.
set -uo pipefail

win_build="${1:?usage: check.sh WIN_BUILD_DIR [options]}"
shift
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The architecture ./quarvel chose: its Wine loader and its DLLs.
wine="${QUARVEL_WINE:-wine}"
dist="${QUARVEL_DIST:-$root/build/dist}"
install="$win_build/check"
setup_key='HKLM\SOFTWARE\Korvanta\Setup'
province=0
edition=current
timeout=3000
rules=""

say() { printf 'check: %s\n' "$*" >&2; }
usage() {
  sed -n '6,10p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

# The client's machines run with code page 936.
win() { LC_ALL=zh_CN.GB2312 "$wine" "$@"; }
wine_path() { local p="${1//\//\\}"; printf 'Z:%s' "$p"; }

province_code() {
  case "${1,,}" in
    27 | shanxi) echo 27 ;;
    13 | anhui) echo 13 ;;
    21 | guangxi) echo 21 ;;
    0 | none) echo 0 ;;
    *) return 1 ;;
  esac
}

parse_options() {
  while [ $# -gt 0 ]; do
    case "$1" in
      --province) province="$(province_code "${2:-}")" || usage; shift 2 ;;
      --dll) [ "${2:-}" = current ] || [ "${2:-}" = earlier ] || usage; edition="$2"; shift 2 ;;
      --timeout) [[ "${2:-}" =~ ^[0-9]+$ ]] || usage; timeout="$2"; shift 2 ;;
      --rules) [ -f "${2:-}" ] || usage; rules="$2"; shift 2 ;;
      *) usage ;;
    esac
  done
}

# The library's built-in addresses, as this build set them.
setting() { sed -n "s/.*$1 = \"\\(.*\\)\";/\\1/p" "$win_build/generated/support/Settings.h"; }

prepare_install() {
  rm -rf "$install"
  mkdir -p "$install/Data"
  if [ -n "$rules" ]; then
    cp "$rules" "$install/Data/Quarvel.ini"
  else
    win "$win_build/quarvel-sim.exe" --rules >"$install/Data/Quarvel.ini" || return 1
  fi
  win reg add "$setup_key" /v InstallPath /t REG_SZ /d "$(wine_path "$install")\\" /f /reg:32 >/dev/null 2>&1 &&
    win reg add "$setup_key" /v channel /t REG_SZ /d "x-$province" /f /reg:32 >/dev/null 2>&1
}

run_check() {
  win "$win_build/quarvel-check.exe" --dll "$(wine_path "$dist/$edition/Quarvel.dll")" \
    --timeout "$timeout" "$1"
}

main() {
  parse_options "$@"
  if [ ! -f "${WINEPREFIX:-$HOME/.wine}/system.reg" ]; then
    WINEARCH="${WINEARCH:-win32}" "$wine" wineboot -i </dev/null >/dev/null 2>&1
  fi
  prepare_install || { say "cannot prepare the installation in $install"; exit 1; }

  echo "Quarvel.dll ($edition), province code $province, time-out $timeout ms"
  if [ "$edition" = current ]; then
    echo "Each check sends a plain HTTP GET to $(setting kIpLocationUrl),"
    echo "and to $(setting kProbeUrl) when that fails."
  else
    echo "Each check sends a plain HTTP GET to $(setting kProbeUrl)."
  fi
  echo
  local redirect classify status=0
  redirect="$(run_check redirect)" || status=$?
  classify="$(run_check classify)" || status=$?
  printf '%s\n\n%s\n' "$redirect" "$classify"
  if [ $status != 0 ]; then
    say "quarvel-check failed (exit status $status)"
    exit 1
  fi

  local log="$install/Log/Quarvel_log.log"
  if [ -f "$log" ]; then
    echo
    echo "End of the library's log ($log):"
    tail -n 12 "$log" | iconv -f GBK -t UTF-8 | tr -d '\r' | sed 's/^/  /'
  fi
  echo
  case "$(sed -n 's/^DisconType: \([0-9]*\).*/\1/p' <<<"$classify")" in
    3) echo "check: the network is up"; exit 0 ;;
    0) echo "check: no page recognised: no network, or the pages have changed (see the log)" ;;
    *) echo "check: the provider reports an account problem (page above)" ;;
  esac
  exit 1
}

main "$@"
