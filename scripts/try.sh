#!/usr/bin/env bash
# Set-up, then one real command on the default emulated machine: stores the
# hardware identifier 42 with tracing on, and shows what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
bin=build/default/bin
"$bin"/pwmachine reg add 'HKCU\Software\Velmora\Tessera' /v doTrace /t REG_DWORD /d 1 /f
echo "pwexe H,42 answers:"
"$bin"/pwexe H,42
"$bin"/pwmachine reg query 'HKLM\Software\Velmora\Tessera\hwid'
root="${PW_MACHINE_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/pwexe/machine}"
echo "Last lines of $root/drive_c/PWY_log/Portwyn.log:"
tail -n 11 "$root/drive_c/PWY_log/Portwyn.log"
