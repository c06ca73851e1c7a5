# shellcheck shell=bash
# Shared by scripts/run, scripts/test and scripts/bench: packages, builds, display and Wine.
# Source it; it sets ROOT and BUILD and the Wine environment.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

PACKAGES=(cmake ninja-build g++ g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine64 wine32:i386 fonts-wine fonts-liberation xvfb xauth xdotool imagemagick googletest
          clang libclang-rt-14-dev shellcheck lirc iproute2)

log() { printf '== %s\n' "$*"; }

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages that are missing; nothing when all are there. Then sees how Wine
# can run programs here.
install_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    log "installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      as_root dpkg --add-architecture i386
    fi
    # A mirror that is being synced serves index files of the wrong size for a while: try the
    # update again, and if it still fails go on with the indexes there are; the install below
    # then says plainly what it could not find.
    local tries
    for tries in 1 2 3 4; do
      as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq && break
      [ "$tries" = 4 ] && { log "apt-get update failed; installing from the indexes there are"; break; }
      log "apt-get update failed; trying again in $((tries * 15)) s"
      sleep $((tries * 15))
    done
    local install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends)
    if ! as_root "${install[@]}" "${missing[@]}" >/dev/null; then
      # Without one architecture's index of the security archive, a 32-bit library cannot match
      # the newer 64-bit one that index would have given: take both from the release itself.
      local release
      release=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
      [ -n "$release" ] || return 1
      log "installing again from $release alone"
      as_root "${install[@]}" -t "$release" "${missing[@]}" >/dev/null
    fi
  fi
  choose_wine_loader
}

# Wine starts 32-bit programs with a 32-bit loader, which needs a kernel that runs 32-bit Linux
# programs. Where it does not (some virtual machines refuse them), Wine's 64-bit loader takes
# its place for these scripts and what they start, and only 64-bit programs can run:
# WIN32_RUNS is then empty.
WIN32_RUNS=1
choose_wine_loader() {
  wine --version >/dev/null 2>&1 && return 0
  /usr/lib/wine/wine64 --version >/dev/null 2>&1 || return 0
  WIN32_RUNS=
  local shims="$BUILD/wine64-only" loader
  mkdir -p "$shims"
  for loader in wine wine-stable; do
    printf '%s\n' '#!/bin/sh' 'export WINELOADER=/usr/lib/wine/wine64' \
      'exec /usr/lib/wine/wine64 "$@"' >"$shims/$loader"
    chmod +x "$shims/$loader"
  done
  export PATH="$shims:$PATH"
  log "this machine does not run 32-bit programs: Wine runs 64-bit ones only"
}

# configure_build NAME [cmake args...]: configures build/NAME once, then builds it: all of
# it, or only the targets named in BUILD_TARGETS.
BUILD_TARGETS=()
configure_build() {
  local name=$1; shift
  local dir="$BUILD/$name"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  fi
  cmake --build "$dir" -- -j"$(nproc)" "${BUILD_TARGETS[@]+"${BUILD_TARGETS[@]}"}"
}

build_native() { configure_build native -DCMAKE_BUILD_TYPE=Debug -DKELHID_SANITIZE=ON; }
build_win32() {
  configure_build win32 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
}
build_win64() {
  configure_build win64 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

build_fuzz() {
  configure_build fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKELHID_FUZZ=ON -DKELHID_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

XVFB_PID=
WINE_STARTED=

# Starts a private X server and exports DISPLAY.
start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  DISPLAY=":$(tr -d '\n' <"$fdfile")"
  export DISPLAY
  rm -f "$fdfile"
  [ "$DISPLAY" != ":" ] || { echo "Xvfb did not start" >&2; return 1; }
}

# Creates the Wine prefix once, then keeps a Wine server running for this script.
start_wine() {
  if [ ! -f "$WINEPREFIX/.kelhid-ready" ]; then
    log "creating the Wine prefix (once)"
    rm -rf "$WINEPREFIX"
    mkdir -p "$BUILD"
    wineboot -i >/dev/null 2>&1
    # Without a window manager, Wine waits ~2 s on every hide; let Wine draw its own frames.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kelhid-ready"
  fi
  # A server left running for this prefix (a hand-run test, say) is taken over.
  wineserver -p 2>/dev/null || true
  WINE_STARTED=1
  # Wine's background processes, started once and detached from our pipes.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Stops what this script started; used from an EXIT trap.
stop_services() {
  if [ -n "$WINE_STARTED" ]; then
    wineserver -k >/dev/null 2>&1 || true
    WINE_STARTED=
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" >/dev/null 2>&1 || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}

# The configuration the demo runs: the product's win32, or win64 where 32-bit programs cannot
# run.
demo_config() {
  if [ -n "$WIN32_RUNS" ]; then echo win32; else echo win64; fi
}

DEMO="$BUILD/demo"

# layout_demo CONFIG: the demo folder build/demo: TestHID.exe (and KelHID.dll when there is
# one) with the simulated receiver's HID.dll and SetupApi.dll beside it, a KelHID.ini naming
# the virtual remote's receiver, and VirtualRemote.exe. Needs the Wine server.
layout_demo() {
  local from="$BUILD/$1"
  rm -rf "$DEMO"
  mkdir -p "$DEMO"
  cp "$from/app/TestHID.exe" "$from/sim/VirtualRemote.exe" "$from/sim/HID.dll" \
    "$from/sim/SetupApi.dll" "$DEMO/"
  find "$from" -name KelHID.dll -exec cp {} "$DEMO/" \; -quit
  # Receiver 1209:0001, scan code 4B: the remote's. Key repeats: the first after 400 ms, then
  # every 200 ms while a key is held.
  printf '%s\r\n' '[SETUP]' 'NAME=Virtual IR Receiver' 'VID=4617' 'PID=1' 'Delay=400' \
    'HeldDelay=200' 'Check=75' 'UseCheck=1' >"$DEMO/KelHID.ini"
  # The remote and the program meet on a bus of their own; a remote that was killed may have
  # left its receiver there.
  export KELHID_STANDIN_BUS=demo
  wine reg delete 'HKCU\Software\KelHID\StandinBus\demo' /f >/dev/null 2>&1 || true
}

# remote_ini PORT: a KelHIDRemote.ini naming every key of the virtual remote by its pair (the
# key value plus 32, and scan code 75), with an action for OK that writes marker.txt and one
# for Play/Pause, and the server on 127.0.0.1:PORT.
remote_ini() {
  printf '%s\r\n' '; The buttons of the Virtual Remote (scripts/run).' '[Remote]' 'Name=myremote' \
    '[Buttons]' 'KEY_POWER=2860,75' 'KEY_MUTE=2861,75' 'KEY_1=2849,75' 'KEY_2=2850,75' \
    'KEY_3=2851,75' 'KEY_4=2852,75' 'KEY_5=2853,75' 'KEY_6=2854,75' 'KEY_7=2855,75' \
    'KEY_8=2856,75' 'KEY_9=2857,75' 'KEY_0=2858,75' 'KEY_BACK=2862,75' 'KEY_MENU=2863,75' \
    'KEY_UP=2936,75' 'KEY_DOWN=2937,75' 'KEY_LEFT=2938,75' 'KEY_RIGHT=2939,75' 'KEY_OK=2940,75' \
    'KEY_VOLUMEUP=2864,75' 'KEY_VOLUMEDOWN=2865,75' 'KEY_PLAYPAUSE=2892,75' \
    'KEY_CHANNELUP=2880,75' 'KEY_CHANNELDOWN=2881,75' \
    '[Actions]' '; OK leaves a mark in the demo folder.' 'KEY_OK=run:cmd /c echo pressed>marker.txt' \
    'KEY_PLAYPAUSE=keys:MediaPlayPause' \
    '[Server]' 'Enabled=1' 'Address=127.0.0.1' "Port=$1"
}

# layout_remote CONFIG PORT: the demo folder with KelHIDRemote.exe and its KelHIDRemote.ini
# beside TestHID.exe (see layout_demo); its server on PORT.
layout_remote() {
  layout_demo "$1"
  cp "$BUILD/$1/app/KelHIDRemote.exe" "$BUILD/$1/app/KelHID.dll" "$DEMO/"
  remote_ini "$2" >"$DEMO/KelHIDRemote.ini"
}

# free_port: a TCP port nothing listens on here.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 20000))
    listening "$port" || { echo "$port"; return 0; }
  done
  return 1
}

# press_remote_key CONFIG KEY [MS]: once KelHID Remote receives, presses KEY of the Virtual
# Remote ("Vol +") and holds it for MS milliseconds.
press_remote_key() {
  local config=$1; shift
  "$ROOT/cmake/wine-run" "$BUILD/$config/sim/DemoPilot.exe" --press "$@" </dev/null >/dev/null 2>&1
}
# close_remote_demo CONFIG: asks KelHID Remote and the Virtual Remote to close (close_program
# then waits for them).
close_remote_demo() {
  "$ROOT/cmake/wine-run" "$BUILD/$1/sim/DemoPilot.exe" --close </dev/null >/dev/null 2>&1 || true
}
# sleep_then_press_remote_key SECONDS CONFIG KEY [MS]: the same after SECONDS.
sleep_then_press_remote_key() {
  sleep "$1"; shift
  press_remote_key "$@"
}

# demo_program NAME [args]: starts a program of the demo folder in the background.
demo_program() {
  local exe="$DEMO/$1"; shift
  (cd "$DEMO" && exec "$ROOT/cmake/wine-run" "$exe" "$@") </dev/null >/dev/null 2>&1 &
}

# close_program NAME PID: closes a Windows program as a user would (WM_CLOSE to its windows)
# and waits for it; false when it would not go.
close_program() {
  wine taskkill /im "$1" >/dev/null 2>&1 || true
  for _ in $(seq 100); do
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$2" 2>/dev/null; then
    echo "$1 did not close" >&2
    kill "$2" 2>/dev/null || true
    return 1
  fi
  wait "$2" 2>/dev/null || true
}

# run_demo_unattended CONFIG SHOT: TestHID.exe and the remote playing its sequence, driven by
# DemoPilot.exe; SHOT gets a picture of the screen with both windows once the sequence is
# done, then both programs are closed. The pilot's findings go to build/demo/pilot.txt and to
# the output. False when no code arrived or a step failed.
run_demo_unattended() {
  local config=$1 shot=$2 rc=0
  layout_demo "$config"
  demo_program TestHID.exe
  local program=$!
  demo_program VirtualRemote.exe --play
  local remote=$!
  "$ROOT/cmake/wine-run" "$BUILD/$config/sim/DemoPilot.exe" </dev/null >"$DEMO/pilot.txt" 2>&1 ||
    rc=$?
  tr -d '\r' <"$DEMO/pilot.txt"
  mkdir -p "$(dirname "$shot")"
  import -window root "$shot"
  echo "screenshot: $shot"
  close_program TestHID.exe "$program" || rc=1
  close_program VirtualRemote.exe "$remote" || rc=1
  return "$rc"
}

# run_remote_demo_unattended CONFIG SHOT: KelHIDRemote.exe and the Virtual Remote: OK pressed
# (its action writes marker.txt), Vol + held for a second; SHOT gets a picture of the screen
# with both windows, then both programs are closed. False when the marker did not appear.
run_remote_demo_unattended() {
  local config=$1 shot=$2 rc=0 port
  port=$(free_port) || return 1
  layout_remote "$config" "$port"
  demo_program VirtualRemote.exe
  local remote=$!
  demo_program KelHIDRemote.exe
  local program=$!
  press_remote_key "$config" OK || rc=1
  if wait_until 100 test -f "$DEMO/marker.txt"; then
    echo "KelHID Remote: OK ran its action (build/demo/marker.txt)"
  else
    echo "KelHID Remote: OK ran no action" >&2
    rc=1
  fi
  press_remote_key "$config" "Vol +" 1000 || rc=1
  sleep 0.5
  mkdir -p "$(dirname "$shot")"
  import -window root "$shot"
  echo "screenshot: $shot"
  close_remote_demo "$config"
  close_program KelHIDRemote.exe "$program" || rc=1
  close_program VirtualRemote.exe "$remote" || rc=1
  return "$rc"
}

# demo_value NAME: a finding of the last unattended demo.
demo_value() {
  tr -d '\r' <"$DEMO/pilot.txt" | sed -n "s/^$1=//p"
}

# --- LIRC clients -------------------------------------------------------------------------

# wait_until TRIES COMMAND...: runs COMMAND every 0.1 s until it succeeds, at most TRIES times;
# false when it never did.
wait_until() {
  local tries=$1; shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

# listening PORT: whether a TCP server listens on 127.0.0.1:PORT.
listening() {
  ss -Hltn "src 127.0.0.1 and sport = :$1" 2>/dev/null | grep -q .
}

# lines_match FILE PATTERN...: whether FILE has a line matching each PATTERN (an extended
# regular expression for the whole line), in that order; other lines may come between.
lines_match() {
  local file=$1 line i=0; shift
  local patterns=("$@")
  [ -f "$file" ] || return 1
  while IFS= read -r line && ((i < ${#patterns[@]})); do
    [[ $line =~ ^(${patterns[i]})$ ]] && i=$((i + 1))
  done < <(tr -d '\r' <"$file")
  ((i == ${#patterns[@]}))
}

# check_lirc_relay DIR PORT PATTERN... -- COMMAND...
# Checks a LIRC-compatible TCP server on 127.0.0.1:PORT (lirc_feed.exe, KelHIDRemote.exe) with
# Debian's own LIRC programs: lircd relays what the server sends to its socket, where irw
# prints it.
#  1. waits until the server listens (the caller starts it first; lircd would wait 5 s and
#     more before trying again);
#  2. starts lircd --connect=127.0.0.1:PORT with its socket, pid file and log in DIR, and
#     waits until its log says it has connected;
#  3. starts irw on lircd's socket and waits until lircd has taken it as a client (lircd
#     passes on only what arrives after that);
#  4. runs COMMAND, which makes the server send its lines (touches the file lirc_feed.exe
#     waits for; holds a key of the virtual remote; ...);
#  5. waits until irw has printed a line matching each PATTERN (an extended regular
#     expression for a whole line, such as '[0-9a-f]{16} 00 KEY_VOLUMEUP myremote'), in that
#     order, other lines allowed between, for at most 20 s.
# Then stops irw and lircd by their process ids and prints irw's lines (DIR/irw.txt). False
# when a step failed; lircd's log stays in DIR/lircd.log.
check_lirc_relay() {
  local dir=$1 port=$2; shift 2
  local patterns=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    patterns+=("$1"); shift
  done
  if [ "${1:-}" != -- ] || [ $# -lt 2 ]; then
    echo "usage: check_lirc_relay DIR PORT PATTERN... -- COMMAND..." >&2
    return 2
  fi
  shift
  mkdir -p "$dir"
  rm -f "$dir/lircd.sock" "$dir/lircd.pid" "$dir/lircd.log" "$dir/irw.txt"
  if ! wait_until 150 listening "$port"; then
    echo "nothing listens on 127.0.0.1:$port"
    return 1
  fi
  lircd --nodaemon --driver=default --device=/dev/null --connect="127.0.0.1:$port" \
    --output="$dir/lircd.sock" --pidfile="$dir/lircd.pid" --logfile="$dir/lircd.log" /dev/null \
    </dev/null >"$dir/lircd.out" 2>&1 &
  local lircd=$! irw='' rc=0
  if ! wait_until 200 grep -qs 'Connected to 127.0.0.1' "$dir/lircd.log"; then
    echo "lircd did not connect to 127.0.0.1:$port"
    rc=1
  else
    irw "$dir/lircd.sock" </dev/null >"$dir/irw.txt" 2>&1 &
    irw=$!
    if ! wait_until 100 grep -qs 'accepted new client' "$dir/lircd.log"; then
      echo "irw did not reach lircd"
      rc=1
    elif ! "$@"; then
      echo "the command that makes the server send failed: $*"
      rc=1
    elif ! wait_until 200 lines_match "$dir/irw.txt" "${patterns[@]}"; then
      echo "irw did not print, in this order: ${patterns[*]}"
      rc=1
    fi
  fi
  if [ -n "$irw" ]; then
    kill "$irw" 2>/dev/null || true
    wait "$irw" 2>/dev/null || true
  fi
  kill "$lircd" 2>/dev/null || true
  wait "$lircd" 2>/dev/null || true
  sed 's/^/  irw: /' "$dir/irw.txt" 2>/dev/null || true
  if grep -qs 'bad send packet' "$dir/lircd.log"; then
    echo "lircd dropped the server: a line came in pieces"
    rc=1
  fi
  return "$rc"
}

# --- Release packages ----------------------------------------------------------------------

DIST="$BUILD/dist"
# What a package holds, and nothing else: no stand-in services, no tests, no simulator.
# shellcheck disable=SC2034  # used by the scripts that source this
PACKAGE_FILES=(KelHID.def KelHID.dll KelHID.h KelHID.lib KelHIDConsole.c KelHIDConsole.exe
               KelHIDHost.c KelHIDHost.exe KelHIDRemote.exe KelHIDRemote.ini README.txt
               TestHID.exe)
# What goes into a package; scripts/package builds only these.
# shellcheck disable=SC2034  # used by the scripts that source this
PACKAGE_TARGETS=(TestHID KelHID KelHIDHost KelHIDConsole KelHIDRemote)

# package_version: the project's version, from the one place that names it.
package_version() {
  sed -n 's/^project(KelHID VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt"
}

# package_file CONFIG: the path of the package of a configuration (win32 or win64).
package_file() {
  echo "$DIST/KelHID-$(package_version)-$1.zip"
}

# make_package CONFIG: the package of a built configuration, from its install rules.
make_package() {
  mkdir -p "$DIST"
  rm -f "$(package_file "$1")"
  (cd "$BUILD/$1" && cpack -G ZIP -B "$DIST" >/dev/null)
  rm -rf "$DIST/_CPack_Packages"
  [ -f "$(package_file "$1")" ]
}

# package_list CONFIG: the files in a package, one a line, sorted. CMake reads zip files too.
package_list() {
  cmake -E tar tf "$(package_file "$1")" | LC_ALL=C sort
}
