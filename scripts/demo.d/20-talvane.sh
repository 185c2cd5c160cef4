# shellcheck shell=bash
# Talvane: the hash-set flag editor, started on the default database that the
# registry stand-in names (the sample of 10-hashdb.sh), so its list is filled at once.
if [ -n "${DEMO_DATABASE:-}" ]; then
  echo "Talvane opens $DEMO_DATABASE: tick alerts, sort by the headings, Ctrl+F to find, Ctrl+S to save."
fi
demo_window "$VELMORA_BUILD/flag_editor/talvane"
