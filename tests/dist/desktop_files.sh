#!/usr/bin/env bash
# The menu entry and the AppStream entry, checked by freedesktop's and AppStream's own
# validators. Skipped (77) when neither is installed (desktop-file-utils, appstream).
set -u
dist=$1
ran=0
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$dist/es.talpor.Talpor.desktop" || exit 1
  ran=1
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$dist/es.talpor.Talpor.metainfo.xml" || exit 1
  ran=1
fi
[ $ran -eq 1 ] || exit 77
