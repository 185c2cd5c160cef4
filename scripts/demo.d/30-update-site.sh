# shellcheck shell=bash
# Update site: the reference site on a free loopback port, reporting the demo
# manifest (newer versions of most products and of Ordwin itself). Ordwin.ini
# points Ordwin's update checks and its product-page link at it; `ordwin
# --check` shows what a check learns. Later parts use $DEMO_SITE_HOST.
site_out=$DEMO_DIR/update-site.out
demo_service "$VELMORA_BUILD/tools/update_client/update_site" --port 0 \
  --manifest "$VELMORA_ROOT/tools/update_client/demo-manifest.txt" >"$site_out"

DEMO_SITE_HOST=
for _ in $(seq 100); do
  DEMO_SITE_HOST=$(sed -n 's/^listening on //p' "$site_out")
  [ -n "$DEMO_SITE_HOST" ] && break
  sleep 0.05
done
if [ -z "$DEMO_SITE_HOST" ]; then
  echo "The update site did not start (see $site_out)." >&2
  return 1
fi
export DEMO_SITE_HOST

cat >>"$VELMORA_CONFIG_DIR/Ordwin.ini" <<INI
[Ordwin]
UpdateSiteHost=$DEMO_SITE_HOST
MakerWebHost=$DEMO_SITE_HOST
INI

echo "Update site: http://$DEMO_SITE_HOST/index3.php?ACTION=163 (Ordwin.ini points there)."
echo "What a check learns from it (ordwin --check):"
"$VELMORA_BUILD/update_manager/ordwin" --check || echo "(the check did not reach the site: exit $?)" >&2
