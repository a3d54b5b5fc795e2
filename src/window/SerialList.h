#pragma once

// The serial page's three drop-down lists.
enum class SerialList {
    Port,
    Baud,
    Format,
};
