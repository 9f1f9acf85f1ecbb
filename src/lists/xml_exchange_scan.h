#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>

namespace vestrum::lists {

// No list file needs more in one start tag; the XML parser slows with the square of an element's
// attribute count, so a larger tag is refused before the parser sees it.
inline constexpr int kMaxTagAttributes = 256;
inline constexpr qint64 kMaxStartTagBytes = 64 * 1024;

// A streaming look at the raw bytes of an XML file that finds start tags with more attributes or more
// bytes than the bounds above. It knows comments, CDATA sections, processing instructions and quoted
// attribute values, and reads UTF-16 and UTF-32 files by their code units, so no well-formed file
// within the bounds is refused. A document type declaration ends the look: the reader refuses it.
class StartTagScanner {
public:
    // Looks at the next bytes of the file; false when a start tag broke a bound (see tooLargeLine()).
    bool scan(QByteArrayView bytes);
    // The line (from 1) on which the start tag that broke a bound begins.
    qint64 tooLargeLine() const { return tagLine_; }
    // How many of the bytes looked at so far belong to a start tag not closed yet: the parser gets them
    // only once the tag is known to be within the bounds.
    qint64 openTagBytes() const;

private:
    enum class State { Text, Open, Bang, Comment, CData, Instruction, EndTag, StartTag, Done };

    void detectWidth();
    bool unit(char32_t c);
    bool startTagUnit(char32_t c);
    void countLine(char32_t c);

    QByteArray head_; // the first bytes, until the code-unit width is known
    int width_ = 0;   // bytes per code unit: 1, 2 or 4; 0 while unknown
    bool bigEndian_ = false;
    QByteArray partial_; // bytes of a code unit split between two calls
    qint64 bytes_ = 0;   // bytes of the file whose code units have been looked at

    State state_ = State::Text;
    qint64 line_ = 1;
    bool afterCr_ = false;
    QByteArray bang_; // what follows "<!" until it tells a comment, CDATA or a declaration apart
    int run_ = 0;     // "-" before "-->", "]" before "]]>", "?" before "?>"
    char32_t quote_ = 0;
    int attributes_ = 0;
    qint64 tagStart_ = 0; // byte offset of the open start tag's "<"
    qint64 tagLine_ = 0;
};

// How a long read reports its progress and learns that the user stopped it. Called on the thread that
// reads.
class ReadMonitor {
public:
    virtual ~ReadMonitor() = default;
    // `done` of `total` bytes have been read (`total` -1 when unknown); false stops the reading.
    virtual bool proceed(qint64 done, qint64 total) = 0;
};

// The bytes of another device as the XML parser reads them: each chunk passes the start-tag scanner
// first, and the bytes of a start tag are handed on only once the tag is closed within the bounds.
// A tag that breaks them, a read error or a stop by the monitor ends the data (see failure()).
class ScannedDevice final : public QIODevice {
public:
    enum class Failure { None, TooLarge, ReadError, Stopped };

    ScannedDevice(QIODevice& source, ReadMonitor* monitor);

    Failure failure() const { return failure_; }
    qint64 tooLargeLine() const { return scanner_.tooLargeLine(); }

    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    void refill();

    QIODevice& source_;
    ReadMonitor* monitor_;
    qint64 total_;
    qint64 done_ = 0;
    StartTagScanner scanner_;
    QByteArray held_;  // scanned, waiting for its start tag to close
    QByteArray ready_; // scanned and free for the parser
    qsizetype readyFrom_ = 0;
    bool sourceDone_ = false;
    Failure failure_ = Failure::None;
};

} // namespace vestrum::lists
