#pragma once

#include <string>

// The operator's text for an ERROR code sent by the unit's TFTP server. The
// unit's own message text is never shown: the codes name its states.
std::string TerminalStatusText(int code);
