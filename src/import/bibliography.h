#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace vestrum::lists {
class JournalList;
}

// Publications read from the files researchers keep in their reference managers (BibTeX, RIS and
// CSL JSON) and turned into rows of the publication lists, written as a unit writes them by hand.
// Each reader leaves the same plain entries; only the row-making knows the lists.
namespace vestrum::importing {

enum class BibliographyFormat { BibTeX, Ris, CslJson };

// "BibTeX", "RIS", "CSL JSON".
QString FormatName(BibliographyFormat format);

// What an entry is, as far as the lists care.
enum class EntryKind { Article, Book, Chapter, Other };

// A person as the file names one; an institution is `literal` and kept as written in `family`.
struct BibPerson {
    QString family;
    QString given;
    bool literal = false;
};

struct BibEntry {
    EntryKind kind = EntryKind::Other;
    QString typeLabel; // the type as the preview names it: "@misc", "GEN", "webpage"
    QString journal;
    QString title; // the article's, the book's or the chapter's own title
    QString bookTitle; // a chapter's book
    std::vector<BibPerson> authors;
    QString year;
    QString volume;
    QString issue;
    QString pages; // "12-34"
    QString issn; // as written; the first ISSN in it counts
    QString publisher;
    QString place;
};

struct Bibliography {
    BibliographyFormat format = BibliographyFormat::BibTeX;
    std::vector<BibEntry> entries;
    int unreadable = 0; // entries broken off by the end of the file or by the next entry
};

// The format of a text by its content, not its name: a JSON array or object, a line "TY  - ", an
// "@type{" entry. Nothing when the text is none of them.
std::optional<BibliographyFormat> DetectBibliographyFormat(const QString& text);

// The readers. None of them throws on damaged input: what cannot be read is left out (BibTeX counts
// the entries it broke off); the CSL JSON reader throws vestrum::Error for text that is no JSON.
Bibliography ReadBibTeX(const QString& text);
Bibliography ReadRis(const QString& text);
Bibliography ReadCslJson(const QByteArray& utf8);

// The bytes of a bibliography file: BibTeX and RIS in the import's encodings (UTF-8 with or without
// a mark, Windows-1250, ...), CSL JSON as UTF-8. Throws vestrum::Error with a Polish message for a
// file of no known format.
Bibliography ReadBibliography(const QByteArray& bytes);
// Reads the file as the text import does (its size limit and messages) and then ReadBibliography.
Bibliography ReadBibliographyFile(const QString& path);

// LaTeX text as a reader sees it decoded: accents and special letters ("\k{a}", "{\l}", "\'{o}")
// become letters, escapes ("\&") their characters, braces and "~" go, other commands leave their
// argument.
QString DecodeLatex(const QString& text);

// "Nazwisko I. I." for each person, joined by ", "; an institution as written.
QString AuthorList(const std::vector<BibPerson>& authors);

// The rows a bibliography gives for a list kind (3-6, 8-11), each with the columns of
// ImportHeaders(kind) and completed as the text import completes them (journals identified, ISSN
// first; monograph points). Entries of another type or without a title are counted, never made rows.
struct BibliographyRows {
    std::vector<QStringList> rows;
    QStringList skipped; // "pominięto 3 pozycje typu @misc", one line a reason
};

// Whether the kind takes a bibliography (the publication and monograph lists).
bool TakesBibliography(int kind);

BibliographyRows BibliographyToRows(int kind, const Bibliography& bibliography, lists::JournalList* journals);

// "1 pozycję", "3 pozycje", "5 pozycji".
QString EntryCountText(int count);

} // namespace vestrum::importing
