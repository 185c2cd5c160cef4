# Each program's version, defined here only: the code (velmora_version.h),
# --version, the About boxes, the man pages and the packages take it from these.
set(VELMORA_TALVANE_VERSION 1.0)       # Talvane and hdbtool
set(VELMORA_ORDWIN_VERSION 1.1)
set(VELMORA_UPDATE_SITE_VERSION 1.0)

# velmora_version.h in BINARY_DIR/generated, for `#include "velmora_version.h"`.
function(velmora_generate_version_header binary_dir)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/velmora_version.h.in
                 ${binary_dir}/generated/velmora_version.h @ONLY)
endfunction()
