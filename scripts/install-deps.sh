#!/usr/bin/env bash
# The Debian packages each part of the build needs, in one place: `make`
# calls this before it builds, .ci/run before the whole suite.
#
#   scripts/install-deps.sh [--check] [--list] GROUP...
#
# Groups: core (the dodevuz command line and its tests), serve (its reading
# page server), browser (the page's test in chromium), qt (the desktop
# program dodevuz-qt), win (dodevuz.exe cross-built and tested under Wine,
# with the ja_JP.UTF-8 locale), fuzz, bench, screenshot, package (the .deb
# packages), all (every group).
#
# Installs only what is missing, without questions: with apt-get as root, or
# through sudo otherwise. When neither can be done it prints the exact command
# to run and exits with status 1. --check only reports what is missing
# (status 1 when anything is); --list prints the packages of the groups.
set -euo pipefail

packages_of() {
  case "$1" in
    # Compiler, CMake, GoogleTest; python3 and ICU are oracles of two tests;
    # skkdic's ranked dictionary chooses a name's common reading.
    core) echo cmake g++ make libgtest-dev libgmock-dev python3 libicu-dev skkdic ;;
    # `dodevuz serve`: the HTTP and JSON libraries, pkg-config that finds the
    # first, strace for the test of the files the server opens.
    serve) echo libcpp-httplib-dev nlohmann-json3-dev pkg-config strace ;;
    # The browser test of the reading page: chromium, node and npm (npm comes
    # with some builds of nodejs, and is a package of its own in Debian's).
    browser) echo chromium nodejs; command -v npm >/dev/null || echo npm ;;
    # Qt 6 widgets, the offscreen platform its tests run on, a Japanese font.
    qt) echo qt6-base-dev qt6-qpa-plugins fonts-vlgothic ;;
    # MinGW-w64 cross compiler, Wine under Xvfb, a Japanese font and the
    # locales package (the ja_JP.UTF-8 locale is made below).
    win) echo g++-mingw-w64-x86-64-win32 wine64 wine xvfb xauth fonts-vlgothic locales ;;
    # clang with its libFuzzer and sanitizer runtimes.
    fuzz) echo clang libclang-rt-14-dev ;;
    # Google Benchmark; kakasi and MeCab are the peers the benchmark times.
    bench) echo libbenchmark-dev kakasi mecab mecab-ipadic-utf8 ;;
    # xwd and ImageMagick for the Win32 picture, fontconfig for the Qt one.
    screenshot) echo x11-apps imagemagick fontconfig ;;
    # CPack's Debian packages: dpkg-shlibdeps finds the libraries, file the
    # programs among the files; desktop-file-validate checks the menu entry,
    # man the manual page; zip for the Windows zip.
    package) echo dpkg-dev file desktop-file-utils man-db zip ;;
    all) for g in core serve browser qt win fuzz bench screenshot package; do packages_of "$g"; done ;;
    *) return 1 ;;
  esac
}

check_only=false
list_only=false
groups=()
for arg in "$@"; do
  case "$arg" in
    --check) check_only=true ;;
    --list) list_only=true ;;
    -h | --help)
      sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      if ! packages_of "$arg" >/dev/null; then
        echo "install-deps: no group '$arg' (core, serve, browser, qt, win, fuzz, bench, screenshot, package, all)" >&2
        exit 2
      fi
      groups+=("$arg")
      ;;
  esac
done
[ ${#groups[@]} -gt 0 ] || groups=(core)

wanted=()
for g in "${groups[@]}"; do
  for p in $(packages_of "$g"); do
    [[ " ${wanted[*]-} " == *" $p "* ]] || wanted+=("$p")
  done
done
if $list_only; then
  echo "${wanted[*]}"
  exit 0
fi

if ! command -v dpkg-query >/dev/null; then
  echo "install-deps: not a Debian system; install the equivalents of: ${wanted[*]}" >&2
  exit 0
fi

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q ' installed$' || missing+=("$p")
done

need_locale=false
if [[ " ${groups[*]} " == *" win "* || " ${groups[*]} " == *" all "* ]]; then
  # Wine's code page 932 (tests/wine/run.sh) comes from this locale.
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' || need_locale=true
fi

if [ ${#missing[@]} -eq 0 ] && ! $need_locale; then
  exit 0
fi

install_line="apt-get update && apt-get install -y ${missing[*]-}"
locale_line="sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen; grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen; locale-gen"
if $check_only; then
  [ ${#missing[@]} -eq 0 ] || echo "install-deps: missing packages: ${missing[*]}"
  $need_locale && echo "install-deps: missing the ja_JP.UTF-8 locale"
  exit 1
fi

# Root, or sudo: without a terminal sudo must not ask for a password.
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null && { [ -t 0 ] || sudo -n true 2>/dev/null; }; then
  as_root=(sudo)
else
  echo "install-deps: these must be installed first; as root, run:" >&2
  [ ${#missing[@]} -eq 0 ] || echo "  $install_line" >&2
  $need_locale && echo "  $locale_line" >&2
  exit 1
fi

apt_get() {
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q \
    -o DPkg::Lock::Timeout=600 "$@"
}
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  # The package lists of a fresh system may be empty or old: update them when
  # the first try fails.
  if ! apt_get install "${missing[@]}"; then
    apt_get update
    apt_get install "${missing[@]}"
  fi
fi
if $need_locale; then
  echo "install-deps: making the ja_JP.UTF-8 locale"
  "${as_root[@]}" sh -c "$locale_line" >/dev/null
fi
