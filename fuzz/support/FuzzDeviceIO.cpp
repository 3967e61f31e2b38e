#include "FuzzDeviceIO.h"

#include <algorithm>
#include <cstring>

FuzzDeviceIO::FuzzDeviceIO(int transportType, FuzzInput* input)
    : m_type(transportType)
    , m_input(input)
{
    ifdelay = 0;
}

FuzzDeviceIO::Next FuzzDeviceIO::nextAnswer(std::string* data)
{
    if (!m_answers.empty()) {
        *data = m_answers.front();
        m_answers.pop_front();
        return Next::Data;
    }
    for (;;) {
        if (m_input->atEnd()) {
            if (idleAnswer.empty())
                return Next::Fail;
            *data = idleAnswer;
            return Next::Data;
        }
        const uint8_t c = m_input->byte();
        if (c <= 0xDF) {
            *data = m_input->bytes(c);
            return Next::Data;
        }
        if (c <= 0xE7) {
            *data = m_input->bytes(m_input->u16() & 0x7FF);
            return Next::Data;
        }
        if (c <= 0xEF)
            return Next::Fail;
        if (c == 0xF0) {
            ++m_failOpens;
            return Next::Gone;
        }
        if (c <= 0xF3)
            return Next::Empty;
        if (c <= 0xF7)
            ++m_failWrites;
        else if (c <= 0xFB)
            ++m_failOpens;
        else if (onCancel)
            onCancel();
    }
}

int FuzzDeviceIO::open(int)
{
    if (device_is_open) {
        ++doubleOpens;
        return -1;
    }
    if (m_failOpens > 0) {
        --m_failOpens;
        return -1;
    }
    device_is_open = true;
    ++opens;
    return 0;
}

int FuzzDeviceIO::close()
{
    if (device_is_open) {
        device_is_open = false;
        ++closes;
    }
    return 0;
}

int FuzzDeviceIO::write(char* buffer, int bufsize)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    if (m_failWrites > 0) {
        --m_failWrites;
        return -1;
    }
    frames.emplace_back(buffer, static_cast<size_t>(bufsize));
    return bufsize;
}

int FuzzDeviceIO::read(char* buffer, int bufsize)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    if (m_type == 1) {
        std::string data;
        switch (nextAnswer(&data)) {
        case Next::Data: {
            const size_t n = std::min(data.size(), static_cast<size_t>(bufsize));
            memcpy(buffer, data.data(), n);
            return static_cast<int>(n);
        }
        case Next::Gone:
            return -4;
        case Next::Empty:
            return 0;
        case Next::Fail:
            return -1;
        }
        return -1;
    }

    const size_t wanted = static_cast<size_t>(bufsize);
    while (m_stream.size() < wanted) {
        std::string data;
        if (nextAnswer(&data) != Next::Data) {
            // The peer went quiet: what came stays in the buffer, the read reports failure.
            memcpy(buffer, m_stream.data(), m_stream.size());
            m_stream.clear();
            return -1;
        }
        m_stream += data;
    }
    memcpy(buffer, m_stream.data(), wanted);
    m_stream.erase(0, wanted);
    return bufsize;
}

int FuzzDeviceIO::write_bulk(char* buffer, int bufsize, unsigned int)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    int n = bufsize;
    if (scriptedBulkWrites && !m_input->atEnd()) {
        const uint8_t c = m_input->byte();
        if (c >= 0xC0)
            n = 0;
        else if (c >= 0x80)
            return -1;
        else if (c > 0)
            n = std::min(bufsize, c * 32);
    }
    bulkWritten.append(buffer, static_cast<size_t>(n));
    return n;
}

int FuzzDeviceIO::read_bulk(char* buffer, int bufsize, unsigned int)
{
    if (!device_is_open || bufsize < 0)
        return -1;
    if (m_type != 1)
        return read(buffer, bufsize);
    if (m_bulkStream.empty()) {
        if (!m_bulkAnswers.empty()) {
            m_bulkStream = m_bulkAnswers.front();
            m_bulkAnswers.pop_front();
        } else {
            if (m_input->atEnd())
                return -7;
            const uint16_t l = m_input->u16();
            if (l >= 0xF000)
                return 0;
            if (l >= 0xE800)
                return -4;
            if (l >= 0xE000)
                return -7;
            m_bulkStream = m_input->bytes(l);
        }
    }
    const size_t n = std::min(m_bulkStream.size(), static_cast<size_t>(bufsize));
    memcpy(buffer, m_bulkStream.data(), n);
    m_bulkStream.erase(0, n);
    return static_cast<int>(n);
}

int FuzzDeviceIO::getDeviceId_without_open(char* buffer, int bufsize) { return getDeviceId(buffer, bufsize); }

int FuzzDeviceIO::getDeviceId(char* buffer, int bufsize)
{
    if (bufsize <= 0)
        return -1;
    buffer[0] = '\0';
    return 0;
}
