# Sourced by the scripts a user starts (run.sh, test.sh, demo.sh, screenshots.sh, bare-machine.sh):
# what they leave on the machine is what their run was for, however it ends.

# Ends the script at once, saying in one line that it needs root and what for.
need_root() {
  [ "$(id -u)" = 0 ] || { echo "$(basename "$0"): needs root: $*" >&2; exit 1; }
}

# Holds build folder $1 for this run and everything it starts, so no other run rebuilds it or
# uses its Wine prefix meanwhile; a second run says so in one line, with $2 as the way to run
# beside it, and changes nothing. Nested scripts of the same run find it held already.
hold_build() {
  local dir held
  dir=$(realpath -m "$1")
  [ "${UPDATER_HELD:-}" != "$dir" ] || return 0
  mkdir -p "$dir"
  exec {held}<"$dir"
  flock -n "$held" ||
    { echo "$(basename "$0"): the build folder $dir is in use by another run; $2" >&2; exit 1; }
  export UPDATER_HELD=$dir
}

# The state field of /proc/PID/stat: a zombie has ended, though it is still there.
alive() {
  local stat
  { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

# Process $1 and all its descendants; a daemon is adopted by its namespace's first process,
# which is one of them.
process_tree() {
  local -A children=()
  local stat line pid ppid queue=("$1")
  for stat in /proc/[0-9]*/stat; do
    { read -r line <"$stat"; } 2>/dev/null || continue
    pid=${stat#/proc/}
    read -r _ ppid _ <<<"${line##*) }"
    children[$ppid]+=" ${pid%/stat}"
  done
  while [ ${#queue[@]} -gt 0 ]; do
    pid=${queue[0]}
    queue=("${queue[@]:1}" ${children[$pid]:-})
    echo "$pid"
  done
}

# Asks every process under $1 to end (make then removes what it half wrote), and after 5 s ends
# the namespaces' first processes, which ends every process left in them.
end_tree() {
  for _ in $(seq 50); do
    alive "$1" || break
    kill -TERM $(process_tree "$1") 2>/dev/null || true
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Runs the calling script again in a PID and a mount namespace of its own and waits for it: every
# mount it makes is gone with its last process, and Ctrl+C, SIGTERM or SIGHUP end all it started
# within seconds. Inside, /tmp, /run/lock and (unless keep_home=1) the home folder are new and in
# memory; the checkout, the build folder and (keep_display=1) the display's socket stay in sight.
# Returns only inside; outside, ends with the script's status (128 + the signal's number if ended).
contain() {
  if [ "${UPDATER_CONTAINED:-}" = new ]; then
    private_folders
    return 0
  fi
  [ -z "${UPDATER_CONTAINED:-}" ] || return 0
  local self status=0 signal=
  self=$(realpath "$0")
  # Its first process goes with this shell, even one killed outright. It keeps the terminal's
  # input, which a command in the background would lose. The script is not that first process
  # itself, whose signals work otherwise (Xvfb, for one, never tells process 1 it is ready).
  UPDATER_CONTAINED=new setpriv --pdeathsig KILL \
    unshare --pid --mount --fork --mount-proc --kill-child -- \
    /bin/bash -c '"$@"; exit $?' contain "$self" "$@" <&0 &
  local child=$!
  trap 'signal=INT' INT
  trap 'signal=TERM' TERM
  trap 'signal=HUP' HUP
  wait "$child" || status=$?
  if [ -n "$signal" ]; then
    echo "$(basename "$0"): SIG$signal: ending everything this run started" >&2
    end_tree "$child"
    status=$((128 + $(kill -l "$signal")))
  fi
  # A Wine prefix being made when the run was ended is not one.
  [ -z "${UPDATER_HELD:-}" ] || rm -rf "$UPDATER_HELD/wineprefix.new"
  ! declare -F after_contained >/dev/null || after_contained
  exit "$status"
}

private_folders() {
  export UPDATER_CONTAINED=1
  local keep=("$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)") fds=() path fd i
  [ -z "${UPDATER_HELD:-}" ] || keep+=("$UPDATER_HELD")
  # The updater's window on the user's display: its socket, and its cookie, stay reachable.
  if [ "${keep_display:-}" = 1 ]; then
    if [ -z "${XAUTHORITY:-}" ] && [ -f "$HOME/.Xauthority" ]; then
      export XAUTHORITY="$HOME/.Xauthority"
    fi
    keep+=(/tmp/.X11-unix ${XAUTHORITY:+"$XAUTHORITY"})
  fi
  # What lies in /tmp is bound again at the same place in the new one, reached through a
  # descriptor opened before; mount must not resolve the descriptor's name itself.
  for i in "${!keep[@]}"; do
    if [[ ${keep[i]} == /tmp/* ]] && [ -e "${keep[i]}" ]; then
      exec {fd}<"${keep[i]}"
      fds[i]=$fd
    fi
  done
  mount -t tmpfs -o mode=1777 updater-tmp /tmp
  for i in "${!fds[@]}"; do
    path=${keep[i]}
    if [ -d "/proc/self/fd/${fds[i]}" ]; then
      mkdir -p "$path"
    else
      mkdir -p "$(dirname "$path")"
      touch "$path"
    fi
    mount --no-canonicalize --bind "/proc/self/fd/${fds[i]}" "$path"
    fd=${fds[i]}
    exec {fd}<&-
  done
  # Temporary files go to the new /tmp, everyone's default. TMPDIR stays unset: Debian 13's Wine 10
  # aborts at start (free(): invalid pointer) whenever it is set, whatever folder it names.
  unset TMPDIR
  # Server lock files (p910nd's printer number) are this run's alone.
  if [ -d /run/lock ]; then
    mount -t tmpfs -o mode=1777 updater-lock /run/lock
  fi
  if [ "${keep_home:-}" != 1 ]; then
    # Wine's menu entries and openbox's cache go to a home folder of the run's own.
    mkdir -m 0700 /tmp/updater-home
    export HOME=/tmp/updater-home
    unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_RUNTIME_DIR
  fi
}
