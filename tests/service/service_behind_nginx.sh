#!/usr/bin/env bash
# The update service deployed as the README shows it: behind nginx, which
# speaks https with a certificate of the organisation's own authority and
# passes the requests on to the service on loopback. Everything here is made
# for the test in a temporary folder: the authority, the certificate, an
# nginx instance of its own (configuration, prefix, pid and logs) on a free
# loopback port. The suite's client trusts the authority through
# HALVEX_UPDATE_CA_FILE; it refuses the certificate without it, and a
# redirect from https to plain http.
set -euo pipefail
src=$1 build=$2 service=$3
for tool in nginx openssl curl python3; do
  command -v $tool >/dev/null || [ -x /usr/sbin/$tool ] || { echo "SKIP: $tool missing"; exit 77; }
done
PATH=$PATH:/usr/sbin
# The check first asks whether this computer is online at all.
awk 'NR > 1 && $2 == "00000000" && $1 != "lo" { found = 1 } END { exit !found }' /proc/net/route ||
  { echo "SKIP: no default route"; exit 77; }

work=$(mktemp -d)
service_pid= nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  for log in service.log nginx/error.log; do [ -f "$work/$log" ] && { echo "--- $log"; cat "$work/$log"; }; done
  exit 1
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# The authority and the server's certificate for 127.0.0.1 and localhost.
tls=$work/tls
mkdir "$tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Halvex Test Authority" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout "$tls/ca.key" -out "$tls/ca.crt" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=localhost" \
  -keyout "$tls/server.key" -out "$tls/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > "$tls/server.ext"
openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.crt" -CAkey "$tls/ca.key" -CAcreateserial -days 2 \
  -extfile "$tls/server.ext" -out "$tls/server.crt" 2>/dev/null

releases=$work/releases
mkdir -p "$releases/packages"
head -c 300000 /dev/urandom > "$releases/packages/HalvexDravane-9.0.0.zip"
echo "01 9.0.0 packages/HalvexDravane-9.0.0.zip $(sha256sum "$releases/packages/HalvexDravane-9.0.0.zip" | cut -c1-64)" \
  > "$releases/releases.list"
"$service" --root "$releases" --listen 127.0.0.1:0 > "$work/service.log" &
service_pid=$!
for _ in $(seq 1 100); do grep -q '^listening on' "$work/service.log" 2>/dev/null && break; sleep 0.1; done
service_address=$(sed -n 's/^listening on //p' "$work/service.log")
[ -n "$service_address" ] || fail "the service did not start"

prefix=$work/nginx
mkdir -p "$prefix/temp"
user=
# As root, nginx's workers run as nobody: they must be able to use the temporary folders.
if [ "$(id -u)" -eq 0 ]; then
  user="user nobody nogroup;"
  chmod 755 "$work" "$prefix"
  chown nobody:nogroup "$prefix/temp"
fi
port=$(free_port)
sed -e "s|@USER@|$user|; s|@PREFIX@|$prefix|g; s|@PORT@|$port|g; s|@SERVICE@|$service_address|g; s|@TLS@|$tls|g" \
  > "$prefix/nginx.conf" <<'CONF'
@USER@
daemon off;
worker_processes 1;
pid @PREFIX@/nginx.pid;
error_log @PREFIX@/error.log;
events { worker_connections 256; }
http {
  access_log @PREFIX@/access.log;
  client_body_temp_path @PREFIX@/temp/body;
  proxy_temp_path @PREFIX@/temp/proxy;
  fastcgi_temp_path @PREFIX@/temp/fastcgi;
  uwsgi_temp_path @PREFIX@/temp/uwsgi;
  scgi_temp_path @PREFIX@/temp/scgi;
  upstream dravane_updates {
    server @SERVICE@;
    keepalive 16;
  }
  server {
    listen 127.0.0.1:@PORT@ ssl;
    ssl_certificate @TLS@/server.crt;
    ssl_certificate_key @TLS@/server.key;
    location /dravane/ {
      proxy_pass http://dravane_updates/;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
    }
    location = /ready { return 204; }
    # A redirect to plain http, which the suite must not follow, and one
    # that stays on https, which it may.
    location /to-http/ { rewrite ^/to-http/(.*)$ http://@SERVICE@/$1 redirect; }
    location /to-https/ { rewrite ^/to-https/(.*)$ https://127.0.0.1:@PORT@/dravane/$1 redirect; }
  }
}
CONF
nginx -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/error.log" &
nginx_pid=$!
base=https://127.0.0.1:$port
for _ in $(seq 1 100); do curl -s -o /dev/null --cacert "$tls/ca.crt" "$base/ready" && break; sleep 0.1; done

reply=$(curl -sS --cacert "$tls/ca.crt" "$base/dravane/check-update.php?id=01&ver=1.0.0") || fail "curl through nginx"
case "$reply" in *'version="9.0.0"'*) ;; *) fail "reply through nginx: $reply" ;; esac
curl -sS --cacert "$tls/ca.crt" -o "$work/got.zip" "$base/dravane/packages/HalvexDravane-9.0.0.zip" ||
  fail "download through nginx"
cmp -s "$work/got.zip" "$releases/packages/HalvexDravane-9.0.0.zip" || fail "the package came through changed"
echo "curl: offer and package through nginx"

run=$work/run
# The drive: the build's programs, and resources of its own that list a
# publisher's key, without which the suite asks no service at all.
bundle=$run/HalvexDravane.app
mkdir -p "$bundle/Contents"
ln -s "$build/drive/HalvexDravane.app/Contents/Linux" "$bundle/Contents/Linux"
cp -r "$build/drive/HalvexDravane.app/Contents/Resources" "$bundle/Contents/Resources"
"$src/scripts/make-update-key.sh" "$work/publisher.key" >/dev/null
python3 - "$bundle/Contents/Resources/Configuration.plist" "$(cat "$work/publisher.key.pub")" <<'PY'
import os, plistlib, sys
path, key = sys.argv[1], sys.argv[2]
settings = {}
if os.path.exists(path):
    with open(path, "rb") as f:
        settings = plistlib.load(f)
settings["UpdatePublicKeys"] = [key]
with open(path, "wb") as f:
    plistlib.dump(settings, f)
PY
export HALVEX_ASSUME_USB=1 LC_ALL=C XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
export no_proxy=127.0.0.1
check() {
  HALVEX_UPDATE_URL=$1 "$build/drive/HalvexDravane.app/Contents/Linux/dravane" --run-path "$run" check-update \
    > "$work/check.out" 2>&1
}
checks_served() { grep -c 'GET /check-update.php?id=01&ver=[0-9.]* 200$' "$work/service.log" || true; }

export HALVEX_UPDATE_CA_FILE=$tls/ca.crt
check "$base/dravane/" || fail "check-update through nginx: $(cat "$work/check.out")"
grep -q '^version: 9.0.0$' "$work/check.out" || fail "no offer: $(cat "$work/check.out")"
echo "dravane check-update: the offer through nginx, trusted through HALVEX_UPDATE_CA_FILE"

check "$base/to-https/" || fail "an https redirect to https: $(cat "$work/check.out")"
grep -q '^version: 9.0.0$' "$work/check.out" || fail "no offer after an https redirect: $(cat "$work/check.out")"

before=$(checks_served)
if check "$base/to-http/"; then fail "a redirect from https to http was followed: $(cat "$work/check.out")"; fi
[ "$(checks_served)" = "$before" ] || fail "the service was asked over plain http after a redirect"
echo "dravane check-update: refuses the redirect to http ($(tail -1 "$work/check.out"))"

unset HALVEX_UPDATE_CA_FILE
if check "$base/dravane/"; then fail "a certificate of an authority nobody trusts was accepted"; fi
echo "dravane check-update: refuses the certificate without its authority ($(tail -1 "$work/check.out"))"
echo "4 passed, 0 failed"
