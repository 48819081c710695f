#!/usr/bin/env bash
# Checks the Debian packages in a folder: each holds what it should (dpkg-deb -c), the
# packages depend on each other and on what dpkg-shlibdeps found, and lintian reports no
# error. Usage: check-packages.sh <folder of the .deb files>
set -euo pipefail
dir=$1
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
fail() { echo "check-packages: $*" >&2; exit 1; }

deb_of() { ls "$dir"/"$1"_*.deb 2>/dev/null | head -n 1; }

# expect <package> <path>...: every path is in the package.
expect() {
    local package=$1 deb
    shift
    deb=$(deb_of "$package")
    [ -n "$deb" ] || fail "no package $package in $dir"
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for path in "$@"; do
        grep -qx "./$path" <<<"$listing" || fail "$package lacks /$path"
    done
    if grep -q "^./usr/local\|^./home\|^./root\|/build/" <<<"$listing"; then
        fail "$package installs outside /usr"
    fi
}

lib=usr/lib/$multiarch
expect mv120mbs100 "$lib/MV120Mbs100.so" "$lib/MerivanePerformanceCounters.ini" \
    "$lib/MerivanePerformanceCounters.h" usr/share/doc/mv120mbs100/copyright
expect merivane-basics-dev usr/include/merivane/mvbasics.h usr/include/merivane/mvexport.h \
    "$lib/cmake/MerivaneBasics/MerivaneBasicsConfig.cmake" \
    "$lib/cmake/MerivaneBasics/MerivaneBasicsConfigVersion.cmake" \
    "$lib/cmake/MerivaneBasics/MerivaneBasicsTargets.cmake" \
    "$lib/pkgconfig/merivane-basics.pc" usr/share/doc/merivane-basics-dev/copyright
expect merivane-basics-tools usr/bin/mvbasics usr/share/doc/merivane-basics-tools/copyright \
    usr/share/man/man1/mvbasics.1.gz usr/share/bash-completion/completions/mvbasics \
    usr/share/doc/merivane-basics-tools/operators.md

# Dependencies: the library's from dpkg-shlibdeps, the others on the library's exact version.
runtime_depends=$(dpkg-deb -f "$(deb_of mv120mbs100)" Depends)
grep -q "libc6" <<<"$runtime_depends" || fail "mv120mbs100 depends on: $runtime_depends"
version=$(dpkg-deb -f "$(deb_of mv120mbs100)" Version)
for package in merivane-basics-dev merivane-basics-tools; do
    dpkg-deb -f "$(deb_of "$package")" Depends | grep -qF "mv120mbs100 (= $version)" ||
        fail "$package does not depend on mv120mbs100 (= $version)"
done

# lintian: no errors. Its remaining warnings are printed; see README (Debian packages).
status=0
lintian --fail-on error --tag-display-limit 0 "$dir"/*.deb >"$dir/lintian.txt" 2>&1 || status=$?
grep -v "running with root privileges" "$dir/lintian.txt" || true
[ "$status" = 0 ] || fail "lintian reports errors (status $status)"
echo "check-packages: ok"
