#ifndef FUZZINPUT_H
#define FUZZINPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

// A cursor over one fuzz input. Every taker consumes bytes from the front; at the end of the input
// it gives what is left (possibly nothing) or the fallback, never more.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool atEnd() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }

    uint8_t byte(uint8_t fallback = 0) { return atEnd() ? fallback : m_data[m_pos++]; }

    // Little-endian, as every integer of the printer's frames.
    uint16_t u16(uint16_t fallback = 0)
    {
        if (remaining() < 2) {
            m_pos = m_size;
            return fallback;
        }
        const uint16_t v = static_cast<uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }

    // Up to n bytes (fewer at the end of the input).
    std::string bytes(size_t n)
    {
        const size_t take = n < remaining() ? n : remaining();
        std::string out(reinterpret_cast<const char*>(m_data + m_pos), take);
        m_pos += take;
        return out;
    }

    std::string rest() { return bytes(remaining()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

#endif
