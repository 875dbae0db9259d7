#!/usr/bin/env bash
# Builds the Debian package a shop installs with apt:
#   scripts/package.sh [OUT_DIR]      (default build/package)
# and prints OUT_DIR/tidepanel_<version>_amd64.deb as its last line.
#
# The programs live in /usr/lib/tidepanel/, where they look for SysInfo.ini
# beside themselves; /usr/bin has links to them, and the SysInfo.ini there is
# a link to /etc/tidepanel/SysInfo.ini, which the postinst makes (resources/debian/).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
tide_install_packages
umask 022

out=$(realpath -m "${1:-build/package}")
version=$(sed -n 's/^set(TIDEPANEL_VERSION \([0-9.]*\))$/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no TIDEPANEL_VERSION in CMakeLists.txt" >&2; exit 1; }
# The last commit's time, so that the same sources give the same package.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
meta=resources/debian

# The release build with Debian's hardening flags, without debugging symbols.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
build=$out/build
cmake --preset release -B "$build" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)"

# dpkg-shlibdeps wants the package's folder in a debian/ beside its control.
root=$out/debian/tidepanel
rm -rf "$root"
lib=$root/usr/lib/tidepanel share=$root/usr/share
cmake --install "$build" --prefix "$lib" >/dev/null
install -D -m 0644 "$lib/SysInfo.ini" "$share/tidepanel/SysInfo.ini"
rm "$lib/SysInfo.ini"
ln -s /etc/tidepanel/SysInfo.ini "$lib/SysInfo.ini"
mkdir -p "$root/usr/bin"
for program in tidepanel tideedit; do
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$lib/$program"
    ln -s "../lib/tidepanel/$program" "$root/usr/bin/$program"
    for size in 16 24 32 48 64 128 256; do
        install -D -m 0644 "resources/$program-$size.png" \
            "$share/icons/hicolor/${size}x$size/apps/$program.png"
    done
done

date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)
filled() { sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$2/g" "$meta/$1"; }
install -D -m 0644 "$meta/com.example.tideedit.desktop" -t "$share/applications"
install -D -m 0644 "$meta/tidepanel-autostart.desktop" "$root/etc/xdg/autostart/tidepanel.desktop"
mkdir -p "$share/metainfo" "$share/man/man1" "$share/doc/tidepanel"
filled com.example.tideedit.metainfo.xml "$date" >"$share/metainfo/com.example.tideedit.metainfo.xml"
for page in tidepanel.1 tideedit.1; do
    filled "$page" "$date" | gzip -9n >"$share/man/man1/$page.gz"
done
install -m 0644 "$meta/copyright" "$share/doc/tidepanel/copyright"
filled changelog "$(date -u -R -d "@$SOURCE_DATE_EPOCH")" | gzip -9n >"$share/doc/tidepanel/changelog.gz"
chmod 0644 "$share"/man/man1/* "$share"/doc/tidepanel/* "$share"/metainfo/*

# Control files. What the scan of the binaries cannot see: the X platform
# plugin, a font with the Chinese texts, Qt's Chinese translations, and
# addgroup for the postinst.
size=$(du -k -s --apparent-size "$root" | cut -f1)
mkdir -p "$root/DEBIAN"
printf 'Source: tidepanel\n\nPackage: tidepanel\nArchitecture: amd64\n' >"$out/debian/control"
libs=$(cd "$out" && dpkg-shlibdeps -O "$lib/tidepanel" "$lib/tideedit" | sed -n 's/^shlibs:Depends=//p')
[ -n "$libs" ] || { echo "package.sh: dpkg-shlibdeps found no libraries" >&2; exit 1; }
depends="$libs, qt6-qpa-plugins, fonts-wqy-zenhei, qt6-translations-l10n, adduser"
sed -e "s/@VERSION@/$version/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    "$meta/control.in" >"$root/DEBIAN/control"
echo /etc/xdg/autostart/tidepanel.desktop >"$root/DEBIAN/conffiles"
install -m 0755 "$meta/postinst" "$meta/postrm" "$root/DEBIAN/"
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root"/DEBIAN/{control,conffiles,md5sums}

find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb=$out/tidepanel_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
