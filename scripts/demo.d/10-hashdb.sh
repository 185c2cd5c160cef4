# shellcheck shell=bash
# Hash database: a generated sample named as the Nerith default database in the
# registry stand-in, listed with hdbtool. Later parts open the same database.
DEMO_DATABASE=$DEMO_DIR/VLNerithLibrary.hdb
export DEMO_DATABASE
hdbtool=$VELMORA_BUILD/tools/hashdb/hdbtool

"$hdbtool" make-sample "$DEMO_DATABASE" --sets 48 --tail-bytes 4194304
cat >"$VELMORA_CONFIG_DIR/registry.ini" <<INI
[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Velmora Nerith Database]
Path=$DEMO_DATABASE
INI

echo "Sample hash database: $DEMO_DATABASE (hdbtool list):"
"$hdbtool" list "$DEMO_DATABASE"
echo "Default database found through $VELMORA_CONFIG_DIR/registry.ini: $("$hdbtool" default)"
