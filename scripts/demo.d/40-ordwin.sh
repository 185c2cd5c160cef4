# shellcheck shell=bash
# Ordwin: the update manager's window, configured (Ordwin.ini of 30-update-site.sh)
# to the loopback update site. It offers a check at start; the site reports newer
# versions of most products and Ordwin 1.2, so after a check Ordwin asks whether
# to get its own update (answer No to keep working with the list).
if [ -n "${DEMO_SITE_HOST:-}" ]; then
  echo "Ordwin checks http://$DEMO_SITE_HOST: Yes to the start-up offer (or Velmora > Check for updates...),"
  echo "then tick products and press Install Newest Versions, or click a Latest Version cell."
fi
demo_window "$VELMORA_BUILD/update_manager/ordwin"
