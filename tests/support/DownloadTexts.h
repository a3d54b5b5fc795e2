#pragma once

#include <string>

// The text every loader and the Ethernet job end a good download with.
inline const std::string DownloadFinishedText = "Download is finished.";
