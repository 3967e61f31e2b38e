#ifndef FUZZDEVICEIO_H
#define FUZZDEVICEIO_H

#include "FuzzInput.h"
#include "transport/DeviceIO.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// A printer whose every answer comes from the fuzz input, read as a script while the library asks.
//
// read() takes one control byte c (further control bytes may follow before the answer):
//   0x00-0xDF  an answer of c bytes, taken from the input
//   0xE0-0xE7  an answer of (next u16 & 0x7FF) bytes: long answers, data packets
//   0xE8-0xEF  the read fails (-1)
//   0xF0       the device is gone: -4, and the next open fails
//   0xF1-0xF3  the read delivers 0 bytes
//   0xF4-0xF7  the next write fails (-1); then the next control byte
//   0xF8-0xFB  the next open fails (-1); then the next control byte
//   0xFC-0xFF  "another thread" asks to cancel (onCancel); then the next control byte
// At the end of the input every read gives idleAnswer, or fails when that is empty.
//
// Over USB (type 1) a read delivers at most the size asked for and the rest of that answer is lost,
// as with a control transfer. Over the network (type 2) the answers form one byte stream as TCP
// does: a read gets exactly the size asked for, or -1 when the stream runs dry before that (what
// NetIO reports after its read wait), and bytes beyond the size stay for the next read.
//
// read_bulk() takes a little-endian u16 L: below 0xE000 a piece of L bytes (more than asked stays
// for the next bulk read), 0xE000-0xE7FF a time-out (-7), 0xE800-0xEFFF the device is gone (-4),
// above that 0 bytes. write_bulk() takes one byte when scriptedBulkWrites is set: 0 moves all,
// 1-0x7F moves at most 32 times that many bytes, 0x80-0xBF fails (-1), above that moves 0 bytes.
//
// Answers queued with queueAnswer()/queueBulkAnswer() are given before the input is consulted.
class FuzzDeviceIO : public DeviceIO
{
public:
    FuzzDeviceIO(int transportType, FuzzInput* input);

    void queueAnswer(const std::string& bytes) { m_answers.push_back(bytes); }
    void queueBulkAnswer(const std::string& bytes) { m_bulkAnswers.push_back(bytes); }

    std::string idleAnswer; // given for every read once the input is used up
    bool scriptedBulkWrites = true; // false: every bulk write moves all it is given
    std::function<void()> onCancel;

    // What the library did.
    std::vector<std::string> frames; // written with write()
    std::string bulkWritten; // everything written with write_bulk(), in order
    int opens = 0;
    int closes = 0;
    int doubleOpens = 0; // open() while already open

    int type() override { return m_type; }
    int close() override;
    int write(char* buffer, int bufsize) override;
    int read(char* buffer, int bufsize) override;
    int getDeviceId_without_open(char* buffer, int bufsize) override;
    int write_bulk(char* buffer, int bufsize, unsigned int interface) override;
    int read_bulk(char* buffer, int bufsize, unsigned int interface) override;
    using DeviceIO::getDeviceAddress;
    using DeviceIO::getDeviceId;
    using DeviceIO::isConnected;
    using DeviceIO::open;
    int open(int port) override;
    bool isConnected() override { return true; }
    int getDeviceId(char* buffer, int bufsize) override;
    const char* getDeviceAddress() override { return "FUZZ"; }

private:
    enum class Next { Data, Fail, Gone, Empty };
    // Takes the next answer (queued or from the input) into *data, or says why there is none.
    Next nextAnswer(std::string* data);

    int m_type;
    FuzzInput* m_input;
    std::deque<std::string> m_answers;
    std::deque<std::string> m_bulkAnswers;
    std::string m_stream; // network: bytes received but not yet read
    std::string m_bulkStream; // bulk: bytes of a piece not yet read
    int m_failWrites = 0;
    int m_failOpens = 0;
};

#endif
