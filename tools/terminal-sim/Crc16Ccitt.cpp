#include "Crc16Ccitt.h"

void Crc16Ccitt::Add(const uint8_t* data, size_t length)
{
    uint16_t crc = value;
    for (size_t i = 0; i < length; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            bool top = (crc & 0x8000) != 0;
            bool in = ((data[i] >> bit) & 1) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if (top != in)
                crc ^= 0x1021;
        }
    }
    value = crc;
}

uint16_t Crc16Ccitt::Of(const uint8_t* data, size_t length)
{
    Crc16Ccitt crc;
    crc.Add(data, length);
    return crc.Value();
}
