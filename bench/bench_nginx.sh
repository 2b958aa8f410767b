# shellcheck shell=bash
# Shared by the crawl benchmarks (sourced): nginx on a free loopback port for a
# site folder (http, or https with a given certificate), and the figures of GNU
# time's verbose report. The sourcing script sets $work (its temporary folder) and
# $nginx_bin, and calls stop_nginx on exit.
# shellcheck disable=SC2154

stop_nginx() {
    if [ -n "${nginx_pid:-}" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
        nginx_pid=
    fi
}

answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Starts nginx for the site folder on a free loopback port, with the lines of the
# file `extra` inside its server block; sets $port and $nginx_pid. With a third
# argument, a folder holding server.pem and server.key, it serves https with that
# certificate instead and logs each request in $work/nginx-tls/access.log as
# "<connection> <requests on it> <method> <status> <protocol>". A fourth argument
# "http2" offers HTTP/2 on that https port too (chosen by ALPN: a client that does
# not ask for it gets HTTP/1.1); so does $nginx_http2 set to anything.
start_nginx() {
    local root=$1 extra=$2 tls=${3:-} http2=${4:-${nginx_http2:-}} dir=$work/nginx log_lines='  access_log off;' tls_lines='' _
    if [ -n "$tls" ]; then
        dir=$work/nginx-tls
        log_lines="  log_format counted '\$connection \$connection_requests \$request_method \$status \$server_protocol';
  access_log $dir/access.log counted;"
        tls_lines="    ssl_certificate $tls/server.pem;
    ssl_certificate_key $tls/server.key;
    ssl_protocols TLSv1.2 TLSv1.3;"
    fi
    mkdir -p "$dir"
    for _ in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 40000))
        answers "$port" && continue
        cat >"$dir/nginx.conf" <<EOF
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 1024; }
http {
$log_lines
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$port${tls:+ ssl}${http2:+ http2};
    server_name localhost;
$tls_lines
    root $root;
$(cat "$extra")
  }
}
EOF
        "$nginx_bin" -p "$dir/" -e "$dir/error.log" -c "$dir/nginx.conf" -g 'daemon off;' >"$dir/output.log" 2>&1 &
        nginx_pid=$!
        for _ in $(seq 1 200); do
            answers "$port" && return 0
            kill -0 "$nginx_pid" 2>/dev/null || break
            sleep 0.05
        done
        stop_nginx
    done
    echo "$(basename "$0"): nginx${tls:+ (https)} did not start:" >&2
    cat "$dir/output.log" "$dir/error.log" >&2 2>/dev/null || true
    exit 1
}

# "Elapsed (wall clock) time (h:mm:ss or m:ss): 1:02.34" in seconds.
wall_seconds() {
    sed -n 's/.*Elapsed (wall clock) time.*): //p' "$1" |
        awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.3f", s }'
}
peak_rss() { sed -n 's/.*Maximum resident set size (kbytes): //p' "$1"; }

# A test authority and a certificate for 127.0.0.1 signed by it, in the folder
# given (ca.pem, server.pem, server.key); made once.
make_test_certificates() {
    local dir=$1
    [ -f "$dir/server.pem" ] && return 0
    mkdir -p "$dir"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
        -subj "/CN=Harbex Bench Authority" -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
        >"$dir/server.ext"
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
        -days 2 -extfile "$dir/server.ext" -out "$dir/server.pem" 2>/dev/null
}

# Makes harbex-cli of the HARBEX_HOME given trust the authority's certificate
# through its "CA File" setting. The settings key goes through the environment:
# awk -v would read its backslashes as escapes.
trust_test_authority() {
    local home=$1 ca=$2 reg=$1/Harbex.reg
    grep -v '^"CA File"=' "$reg" |
        key='[HKEY_CURRENT_USER\Software\Tavrolin\Harbex\Settings]' line="\"CA File\"=\"$ca\"" \
            awk '{ print } $0 == ENVIRON["key"] { print ENVIRON["line"] }' >"$reg.new"
    mv "$reg.new" "$reg"
    grep -q '^"CA File"=' "$reg"
}
