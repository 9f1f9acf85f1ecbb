#include "lists/xml_exchange_scan.h"

#include <cstring>

namespace vestrum::lists {
namespace {

constexpr qint64 kChunkBytes = 256 * 1024;

char32_t decodeUnit(const char* p, int width, bool bigEndian)
{
    char32_t c = 0;
    for (int i = 0; i < width; ++i) {
        const auto byte = static_cast<unsigned char>(p[bigEndian ? i : width - 1 - i]);
        c = (c << 8) | byte;
    }
    return c;
}

} // namespace

// ------------------------------------------------------------------------------------------------------------
// StartTagScanner

// The parser takes a byte-order mark or, without one, the bytes of the first "<" as UTF-16 or UTF-32;
// anything else is an 8-bit encoding in which "<", ">", quotes and line ends are single bytes.
void StartTagScanner::detectWidth()
{
    const auto b = [this](int i) { return static_cast<unsigned char>(head_[i]); };
    width_ = 1;
    if (head_.size() < 4)
        return;
    if ((b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) || (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == '<')) {
        width_ = 4;
        bigEndian_ = true;
    } else if ((b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) || (b(0) == '<' && b(1) == 0 && b(2) == 0 && b(3) == 0)) {
        width_ = 4;
    } else if ((b(0) == 0xFE && b(1) == 0xFF) || (b(0) == 0 && b(1) == '<')) {
        width_ = 2;
        bigEndian_ = true;
    } else if ((b(0) == 0xFF && b(1) == 0xFE) || (b(0) == '<' && b(1) == 0)) {
        width_ = 2;
    }
}

bool StartTagScanner::scan(QByteArrayView bytes)
{
    if (width_ == 0) {
        head_.append(bytes.data(), bytes.size());
        if (head_.size() < 4)
            return true;
        detectWidth();
        const QByteArray head = std::move(head_);
        head_.clear();
        return scan(head);
    }
    const char* p = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    if (width_ == 1) {
        for (; i < size; ++i) {
            if (!unit(static_cast<unsigned char>(p[i])))
                return false;
            ++bytes_;
        }
        return true;
    }
    while (i < size) {
        const qsizetype take = std::min<qsizetype>(width_ - partial_.size(), size - i);
        partial_.append(p + i, take);
        i += take;
        if (partial_.size() < width_)
            break;
        if (!unit(decodeUnit(partial_.constData(), width_, bigEndian_)))
            return false;
        bytes_ += width_;
        partial_.clear();
    }
    return true;
}

qint64 StartTagScanner::openTagBytes() const
{
    if (width_ == 0)
        return head_.size();
    if (state_ == State::Open || state_ == State::Bang || state_ == State::StartTag)
        return bytes_ + partial_.size() - tagStart_;
    return 0;
}

// CR LF, a lone CR and a lone LF each end one line, as the parser counts them.
void StartTagScanner::countLine(char32_t c)
{
    if (c == U'\r') {
        ++line_;
        afterCr_ = true;
        return;
    }
    if (c == U'\n' && !afterCr_)
        ++line_;
    afterCr_ = false;
}

// One code unit at byte offset bytes_; false when it takes a start tag past a bound.
bool StartTagScanner::unit(char32_t c)
{
    countLine(c);
    switch (state_) {
    case State::Text:
        if (c == U'<') {
            state_ = State::Open;
            tagStart_ = bytes_;
            tagLine_ = line_;
        }
        return true;
    case State::Open:
        if (c == U'!') {
            state_ = State::Bang;
            bang_.clear();
        } else if (c == U'?') {
            state_ = State::Instruction;
            run_ = 0;
        } else if (c == U'/') {
            state_ = State::EndTag;
        } else {
            state_ = State::StartTag;
            quote_ = 0;
            attributes_ = 0;
            return startTagUnit(c);
        }
        return true;
    case State::Bang: {
        static const QByteArray comment = QByteArrayLiteral("--");
        static const QByteArray cdata = QByteArrayLiteral("[CDATA[");
        bang_ += c < 0x80 ? static_cast<char>(c) : '\x01';
        run_ = 0;
        if (bang_ == comment)
            state_ = State::Comment;
        else if (bang_ == cdata)
            state_ = State::CData;
        else if (!comment.startsWith(bang_) && !cdata.startsWith(bang_))
            state_ = State::Done; // a declaration: the reader refuses a DOCTYPE, and nothing else may stand here
        return true;
    }
    case State::Comment:
    case State::CData: {
        const char32_t closing = state_ == State::Comment ? U'-' : U']';
        if (c == U'>' && run_ >= 2)
            state_ = State::Text;
        else
            run_ = c == closing ? run_ + 1 : 0;
        return true;
    }
    case State::Instruction:
        if (c == U'>' && run_ > 0)
            state_ = State::Text;
        else
            run_ = c == U'?' ? 1 : 0;
        return true;
    case State::EndTag:
        if (c == U'>')
            state_ = State::Text;
        return true;
    case State::StartTag:
        return startTagUnit(c);
    case State::Done:
        return true;
    }
    return true;
}

// Inside a start tag every attribute has exactly one "=" outside its quoted value.
bool StartTagScanner::startTagUnit(char32_t c)
{
    if (bytes_ + width_ - tagStart_ > kMaxStartTagBytes)
        return false;
    if (quote_ != 0) {
        if (c == quote_)
            quote_ = 0;
    } else if (c == U'"' || c == U'\'') {
        quote_ = c;
    } else if (c == U'=') {
        if (++attributes_ > kMaxTagAttributes)
            return false;
    } else if (c == U'>') {
        state_ = State::Text;
    }
    return true;
}

// ------------------------------------------------------------------------------------------------------------
// ScannedDevice

ScannedDevice::ScannedDevice(QIODevice& source, ReadMonitor* monitor)
    : source_(source)
    , monitor_(monitor)
    , total_(source.isSequential() ? -1 : source.size() - source.pos())
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool ScannedDevice::atEnd() const
{
    return bytesAvailable() == 0 && (sourceDone_ || failure_ != Failure::None);
}

qint64 ScannedDevice::bytesAvailable() const
{
    return ready_.size() - readyFrom_ + QIODevice::bytesAvailable();
}

qint64 ScannedDevice::readData(char* data, qint64 maxSize)
{
    if (readyFrom_ >= ready_.size())
        refill();
    const qint64 available = ready_.size() - readyFrom_;
    if (available == 0)
        return -1; // the end of the data, or a failure the reader's caller asks about
    const qint64 n = std::min(available, maxSize);
    std::memcpy(data, ready_.constData() + readyFrom_, static_cast<size_t>(n));
    readyFrom_ += n;
    return n;
}

qint64 ScannedDevice::writeData(const char*, qint64)
{
    return -1;
}

void ScannedDevice::refill()
{
    ready_.clear();
    readyFrom_ = 0;
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    while (ready_.isEmpty() && failure_ == Failure::None && !sourceDone_) {
        if (monitor_ && !monitor_->proceed(done_, total_)) {
            failure_ = Failure::Stopped;
            return;
        }
        const qint64 n = source_.read(chunk.data(), chunk.size());
        if (n < 0) {
            failure_ = Failure::ReadError;
            return;
        }
        if (n == 0) {
            // A file that ends inside a start tag is cut short; the parser says so.
            sourceDone_ = true;
            ready_ = std::move(held_);
            held_.clear();
            return;
        }
        done_ += n;
        const QByteArrayView bytes(chunk.constData(), n);
        if (!scanner_.scan(bytes)) {
            failure_ = Failure::TooLarge;
            return;
        }
        held_.append(bytes.data(), bytes.size());
        const qint64 pass = held_.size() - scanner_.openTagBytes();
        if (pass > 0) {
            ready_ = held_.left(pass);
            held_.remove(0, pass);
        }
    }
}

} // namespace vestrum::lists
