#include "update_client/open_links.h"

#include "platform/launch.h"

bool OpenDownloadLink(const std::string& link) { return OpenWebAddress(link); }

bool OpenPage(const std::string& address) { return OpenWebAddress(address); }
