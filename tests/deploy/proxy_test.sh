#!/usr/bin/env bash
# The nginx configuration of docs/DEPLOY.md, taken from the guide itself, in
# front of a headless Talvex: TLS with a certificate made here, basic auth,
# the /cam/ sub-path, the snapshot cache under 200 concurrent viewers, the
# MJPEG stream and the live page showing it.
# Usage: proxy_test.sh SOURCE_DIR BIN_DIR
set -euo pipefail
source_dir=$1
bin_dir=$2
. "$source_dir/tests/deploy/lib.sh"
command -v nginx >/dev/null || fail "nginx is missing (scripts/setup.sh --test)"

app=$scratch/app
mkdir -p "$app"
cp "$bin_dir/Talvex" "$app/"
cp -r "$source_dir/root" "$app/root"
talvex_port=$(free_port)
stream_port=$(free_port)
[ "$stream_port" != "$talvex_port" ] || stream_port=$(free_port)
options=(--stream-port "$stream_port")
# The guide keeps Talvex on the loopback address.
"$app/Talvex" --help 2>&1 | grep -q -- --bind && options+=(--bind 127.0.0.1)
start_talvex "$app/Talvex" "$app" "$talvex_port" 5 "${options[@]}"   # 5 frames a second: 200 ms apart

# The guide's block, as written there.
sed -n '/<!-- nginx-config: begin/,/<!-- nginx-config: end/p' "$source_dir/docs/DEPLOY.md" \
  | sed -e '1,/^```nginx$/d' -e '/^```$/,$d' >"$scratch/guide.conf"
grep -q "proxy_cache_path" "$scratch/guide.conf" || fail "no nginx block in docs/DEPLOY.md"
# Its cache folder is one that nginx can create on Debian: its parent exists.
cache_path=$(awk '$1 == "proxy_cache_path" {print $2}' "$scratch/guide.conf")
[ -d "$(dirname "$cache_path")" ] || fail "the guide's cache folder $cache_path cannot be created: no $(dirname "$cache_path")"

# Certificate, password file, and the guide's block with this run's ports and
# paths.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost \
  -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
printf 'viewer:%s\n' "$(openssl passwd -apr1 'correct horse')" >"$scratch/htpasswd"
proxy_port=$(free_port)
sed -e "s|listen 443 ssl;|listen 127.0.0.1:$proxy_port ssl;|" \
    -e "s|127.0.0.1:8080|127.0.0.1:$talvex_port|g" \
    -e "s|127.0.0.1:8081|127.0.0.1:$stream_port|g" \
    -e "s|/etc/ssl/talvex|$scratch|g" \
    -e "s|/etc/nginx/talvex.htpasswd|$scratch/htpasswd|" \
    -e "s|$cache_path|$scratch/cache|" \
    "$scratch/guide.conf" >"$scratch/talvex.conf"
grep -q "listen 127.0.0.1:$proxy_port ssl" "$scratch/talvex.conf" || fail "the guide's listen line changed"
grep -q "127.0.0.1:$stream_port/stream" "$scratch/talvex.conf" || fail "the guide has no stream location on port 8081"
mkdir -p "$scratch/tmp"
user=""
[ "$(id -u)" -eq 0 ] && user="user root;"
cat >"$scratch/nginx.conf" <<CONF
$user
worker_processes 1;
pid $scratch/nginx.pid;
error_log $scratch/error.log warn;
events { worker_connections 2048; }
http {
  log_format upstream '\$upstream_addr \$upstream_cache_status \$status \$uri';
  access_log $scratch/access.log upstream;
  client_body_temp_path $scratch/tmp/body;
  proxy_temp_path $scratch/tmp/proxy;
  fastcgi_temp_path $scratch/tmp/fastcgi;
  uwsgi_temp_path $scratch/tmp/uwsgi;
  scgi_temp_path $scratch/tmp/scgi;
  include $scratch/talvex.conf;
}
CONF
nginx -p "$scratch" -c "$scratch/nginx.conf" -e "$scratch/error.log" || fail "nginx did not start"
for _ in $(seq 50); do [ -s "$scratch/nginx.pid" ] && break; sleep 0.1; done

base=https://127.0.0.1:$proxy_port/cam
auth=(-u 'viewer:correct horse')
status() { curl -sk -o /dev/null -w '%{http_code}' "$@"; }

# The player page under the sub-path, byte for byte.
curl -skf "${auth[@]}" "$base/" -o "$scratch/player.html" || fail "player page not served"
cmp -s "$scratch/player.html" "$source_dir/root/player.html" || fail "player page differs"
# The snapshot over TLS with the password; a JPEG.
curl -skf "${auth[@]}" "$base/images/VelmarixCamImage.jpg?1" -o "$scratch/snap.jpg" || fail "no snapshot"
[ "$(head -c 2 "$scratch/snap.jpg" | od -An -tx1 | tr -d ' ')" = "ffd8" ] || fail "snapshot is not a JPEG"
# Refused without the password or with a wrong one, and over plain HTTP.
[ "$(status "$base/images/VelmarixCamImage.jpg")" = 401 ] || fail "served without a password"
[ "$(status -u viewer:wrong "$base/images/VelmarixCamImage.jpg")" = 401 ] || fail "served with a wrong password"
[ "$(status "http://127.0.0.1:$proxy_port/cam/")" = 400 ] || fail "plain HTTP accepted"

# The stream through the proxy: parts keep coming, each a JPEG.
curl -sk "${auth[@]}" --max-time 2 "$base/stream" -o "$scratch/stream.bin" || true
parts=$(grep -ac "Content-Type: image/jpeg" "$scratch/stream.bin" || true)
echo "stream parts through the proxy in 2 s: $parts"
[ "$parts" -ge 3 ] || fail "the stream did not come through the proxy ($parts parts)"
[ "$(status "$base/stream" --max-time 2)" = 401 ] || fail "stream served without a password"

# The live page through the proxy shows the stream from beside itself: over
# HTTPS the stream's own port is neither reachable nor allowed.
if command -v chromium >/dev/null; then
  python3 "$source_dir/tests/page/shows_stream.py" "$base/" "viewer:correct horse" \
    || fail "the page does not show the stream through the proxy"
else
  echo "no chromium: the page through the proxy is not checked"
fi

# 200 viewers for 4 seconds, each asking again as soon as it has its picture.
upstream_before=$(awk '$1 != "-" && $4 ~ /^\/cam\/images\//' "$scratch/access.log" | wc -l)
seconds=4
wrk -t2 -c200 -d${seconds}s --timeout 5s -H "Authorization: Basic $(printf 'viewer:correct horse' | base64)" \
  "$base/images/VelmarixCamImage.jpg" >"$scratch/wrk.txt"
cat "$scratch/wrk.txt"
requests=$(awk '/requests in/ {print $1}' "$scratch/wrk.txt")
grep -q "Non-2xx" "$scratch/wrk.txt" && fail "viewers got errors"
upstream=$(( $(awk '$1 != "-" && $4 ~ /^\/cam\/images\//' "$scratch/access.log" | wc -l) - upstream_before ))
intervals=$(( seconds * 1000 / 200 ))
echo "viewers' requests: $requests; snapshot requests Talvex saw: $upstream over $intervals frame intervals"
[ "$requests" -ge 400 ] || fail "too few requests through the proxy ($requests)"
# One fetch per tenth of a second is two per frame interval; allow a third.
[ "$upstream" -le $(( intervals * 3 )) ] || fail "Talvex saw $upstream requests in $intervals intervals"
[ "$upstream" -ge 1 ] || fail "no request reached Talvex"

nginx -p "$scratch" -c "$scratch/nginx.conf" -s quit 2>/dev/null || true
stop_talvex
echo "proxy: ok"
