#!/bin/bash
# Creates a 64-bit Wine prefix for running tarnu.exe headless (Debian 12,
# Wine 8.0): Japanese locale and fonts, every program in one 1024x768
# virtual desktop. Usage: WINEPREFIX=DIR make_wine_prefix.sh
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:?set WINEPREFIX} WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="     # no Mono/Gecko install prompts
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8     # code page 932, Japanese UI fonts
here=$(cd "$(dirname "$0")" && pwd)
wineboot -i >/dev/null 2>&1
wineserver -w
# Debian's Wine 8.0 does not load its own fonts (Tahoma, Marlett...) from
# /usr/share/wine/fonts: make them visible through C:\windows\Fonts.
ln -sf /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# The Japanese Windows UI font names, mapped to the IPA fonts.
iconv -f UTF-8 -t UTF-16 "$here/fonts-ja.reg.utf8" >"$WINEPREFIX/fonts-ja.reg"
wine regedit /S "$WINEPREFIX/fonts-ja.reg"
# One virtual desktop with a taskbar, so the tray icon has a place and other
# processes see the program's windows.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
wineserver -w   # flush the registry to disk
