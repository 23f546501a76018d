# A private CUPS server for the print tests, sourced by them: its own
# configuration, spool, logs and local socket in a temporary folder, a
# capture printer that keeps each job's document, and nothing of the
# system's CUPS touched. Clients reach it through CUPS_SERVER.
#
#   private_cups_start DIR     starts cupsd in DIR, exports CUPS_SERVER
#   private_cups_add_queue Q   adds queue Q whose jobs land in DIR/out
#   private_cups_stop          stops the cupsd started, by its pid

private_cups_dir=""
private_cups_pid=""

private_cups_start() {
  local dir=$1
  private_cups_dir=$dir
  mkdir -p "$dir/spool/tmp" "$dir/log" "$dir/cache" "$dir/state" "$dir/bin/backend" "$dir/out"
  ln -s /usr/lib/cups/filter "$dir/bin/filter"
  ln -s /usr/lib/cups/daemon "$dir/bin/daemon"
  # The capture backend: writes the document of each job to DIR/out.
  cat >"$dir/bin/backend/capture" <<'BACKEND'
#!/bin/sh
if [ $# -eq 0 ]; then echo 'direct capture "Unknown" "Job capture"'; exit 0; fi
out=${DEVICE_URI#capture:}
if [ -n "$6" ]; then cat "$6"; else cat; fi >"$out/job-$1.tmp" && mv "$out/job-$1.tmp" "$out/job-$1.out"
BACKEND
  chmod 0700 "$dir/bin/backend/capture"
  cat >"$dir/cupsd.conf" <<CONF
LogLevel warn
Listen $dir/cups.sock
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
<Policy default>
  JobPrivateAccess default
  JobPrivateValues default
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
  <Limit All>
    Order Deny,Allow
  </Limit>
</Policy>
CONF
  cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir
ServerBin $dir/bin
StateDir $dir/state
CacheDir $dir/cache
RequestRoot $dir/spool
TempDir $dir/spool/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
CONF
  if [ "$(id -u)" -ne 0 ]; then
    # Not root: the server and its backend run as the current user.
    printf 'User %s\nGroup %s\nSystemGroup %s\n' "$(id -un)" "$(id -gn)" "$(id -gn)" >>"$dir/cups-files.conf"
  fi
  /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
  private_cups_pid=$!
  export CUPS_SERVER=$dir/cups.sock
  local _
  for _ in $(seq 100); do
    lpstat -r >/dev/null 2>&1 && return 0
    kill -0 "$private_cups_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the private cupsd did not start:" >&2
  cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
  return 1
}

private_cups_add_queue() {
  lpadmin -p "$1" -v "capture:$private_cups_dir/out" -E
}

private_cups_stop() {
  [ -n "$private_cups_pid" ] || return 0
  kill "$private_cups_pid" 2>/dev/null || true
  local _
  for _ in $(seq 100); do
    kill -0 "$private_cups_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$private_cups_pid" 2>/dev/null || true
  wait "$private_cups_pid" 2>/dev/null || true
  private_cups_pid=""
  unset CUPS_SERVER
}
