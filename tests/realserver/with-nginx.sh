#!/usr/bin/env bash
# Runs a command while Debian's nginx serves, inside the private network
# namespace: port 80 with the deployment's server block for the shipped
# probe page (tools/probe/nginx.conf, exactly as the README shows it), and
# 127.0.0.1:8080 with a provider portal ("302 Moved Temporarily") and a page
# that nginx sends in chunks on a kept-alive connection. nginx lives only as
# long as the command (CTest runs one test at a time, so port 80 is free),
# in a mount namespace of its own where /srv/quarvel-probe is tools/probe/.
#   with-nginx.sh WIN_BUILD_DIR COMMAND [ARGS...]
set -uo pipefail

if [ -z "${QUARVEL_NGINX_MOUNTS:-}" ]; then
  QUARVEL_NGINX_MOUNTS=1 exec unshare --mount bash "$0" "$@"
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
snippet="$root/tools/probe/nginx.conf"
win_build="${1:?WIN_BUILD_DIR}"
shift
run="$win_build/nginx"
say() { printf 'with-nginx: %s\n' "$*" >&2; }

# The README must hold the server block that is tested here.
if [[ "$(cat "$root/README.md")" != *"$(cat "$snippet")"* ]]; then
  say "README.md no longer holds the text of tools/probe/nginx.conf"
  exit 1
fi
# Port 80 here is the private namespace's, where the built-in hosts are local.
while read -r host; do
  if [ -n "$host" ] && [ "$(getent hosts "$host" | awk '{print $1; exit}')" != 127.0.0.1 ]; then
    say "$host does not map to 127.0.0.1: run it through ./quarvel test"
    exit 1
  fi
done <"$win_build/built-in-hosts.txt"

rm -rf "$run"
mkdir -p "$run/tmp"
mount -t tmpfs tmpfs /srv && mkdir /srv/quarvel-probe &&
  mount --bind "$root/tools/probe" /srv/quarvel-probe || { say "cannot mount /srv/quarvel-probe"; exit 1; }

# The minimal frame around the server block: one process in the foreground,
# every file it writes under RUN_DIR.
# "user root" keeps the one process as it is: no switch to "nobody", whom a
# user namespace (./quarvel as a non-root user) does not map.
cat >"$run/nginx.conf" <<EOF
daemon off;
master_process off;
user root;
pid $run/nginx.pid;
error_log $run/error.log;
events { worker_connections 64; }
http {
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    access_log $run/access.log;
    client_body_temp_path $run/tmp/body;
    proxy_temp_path $run/tmp/proxy;
    fastcgi_temp_path $run/tmp/fastcgi;
    uwsgi_temp_path $run/tmp/uwsgi;
    scgi_temp_path $run/tmp/scgi;
    include $snippet;
    server {
        listen 127.0.0.1:8080;
        location = /portal { return 302 http://portal.sx.example/arrears.html; }
        location = /chunked.html {
            ssi on;
            default_type text/html;
            return 200 '<p>page head <!--# include virtual="/part" --> page end</p>';
        }
        location = /part { return 200 'included part'; }
        location = /generate_204 { return 204; }
    }
}
EOF

nginx -p "$run" -e "$run/error.log" -c "$run/nginx.conf" &
nginx_pid=$!
stop_nginx() {
  kill "$nginx_pid" 2>/dev/null
  wait "$nginx_pid" 2>/dev/null
}
trap stop_nginx EXIT
trap 'exit 143' INT TERM

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for _ in $(seq 300); do
  listening 80 && listening 8080 && break
  if ! kill -0 "$nginx_pid" 2>/dev/null; then
    say "nginx did not start:"
    cat "$run/error.log" >&2
    exit 1
  fi
  sleep 0.01
done
listening 80 && listening 8080 || { say "nginx is not listening"; exit 1; }

"$@"
