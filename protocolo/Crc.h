#pragma once
// CRC-16/MODBUS: initial value 0xFFFF, reflected polynomial 0xA001, no final XOR.
// On the line the low byte goes first.

#include <QByteArray>
#include <cstddef>
#include <cstdint>

uint16_t CRC16_Modbus(const uint8_t *bytes, std::size_t n);

inline uint16_t CRC16_Modbus(const QByteArray &bytes) {
    return CRC16_Modbus(reinterpret_cast<const uint8_t *>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size()));
}

// Appends the CRC of `frame`, low byte first.
inline void Agrega_CRC(QByteArray &frame) {
    const uint16_t crc = CRC16_Modbus(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
}

// True when the last two bytes of `frame` are the CRC of the bytes before them.
inline bool CRC_Valido(const QByteArray &frame) {
    if (frame.size() < 3)
        return false;
    const uint16_t crc =
        CRC16_Modbus(reinterpret_cast<const uint8_t *>(frame.constData()), frame.size() - 2);
    return static_cast<uint8_t>(frame[frame.size() - 2]) == (crc & 0xFF) &&
           static_cast<uint8_t>(frame[frame.size() - 1]) == (crc >> 8);
}
