#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

// One publication counted twice counts twice in the evaluation: the same article entered in 8.1.a
// and in 8.1.c, twice after two departments' files were merged, or once more with a changed comma.
// A probable duplicate is a row whose title key (the journal matching's key: case, punctuation and
// "&"/"and" aside) and year equal another's among the articles (kinds 3-6), or among the monographs
// and chapters (kinds 8-11), or whose ISSN, title key and volume do. Rows equal letter case aside in
// one list are the editor's own refusal and are not reported again here.
namespace vestrum::db {
class Connection;
}

namespace vestrum::lists {

// Whether the kind's rows are publications the rule compares.
bool IsPublicationKind(int kind);

// A publication of the survey: its list and its data row from 0, in the order the rows were given.
struct PublicationPlace {
    int kind = -1;
    int row = -1;
    bool operator==(const PublicationPlace&) const = default;
};

struct ProbableDuplicate {
    PublicationPlace later; // the row that repeats
    PublicationPlace earlier; // the publication it repeats
    int incoming = -1; // for an import: the index of `later` among the rows brought in
    QString title; // as `later` writes it
    QString year;
};

// What the rule names a publication by: its own title (a chapter's, not its book's) and its year.
QString PublicationTitle(int kind, const QStringList& row);
QString PublicationYear(int kind, const QStringList& row);
// `later`, found to repeat `earlier`, named by its row's title and year.
ProbableDuplicate DuplicateOf(const PublicationPlace& later, const PublicationPlace& earlier, const QStringList& row);

// The point of the survey a publication list is ("8.1.a").
QString PublicationListName(int kind);

// "możliwy duplikat: <tytuł> (<rok>) - <lista> wiersz <N>", naming the earlier publication.
QString DuplicateLine(const ProbableDuplicate& duplicate);

// The publications of the survey by kind, each list's rows in the editor's order.
using PublicationLists = std::map<int, std::vector<QStringList>>;

// Every publication list of a survey database, as the editor shows it after opening.
PublicationLists ReadPublicationLists(db::Connection& survey);

// Publications indexed by what the rule compares; each add() answers whether the row repeats one
// added before.
class PublicationIndex {
public:
    std::optional<PublicationPlace> add(const PublicationPlace& place, const QStringList& row);

private:
    struct Keys {
        QString titleYear;
        QString issnTitleVolume;
        QStringList folded; // the row letter case aside: the editor's own duplicate test
    };
    static Keys keysOf(int kind, const QStringList& row);

    QHash<QString, PublicationPlace> byTitleYear_;
    QHash<QString, PublicationPlace> byIssnTitleVolume_;
    QSet<QStringList> foldedRows_[12]; // by kind
};

// Every probable duplicate of the survey: each row against the first earlier publication it repeats
// (lists in kind order, rows in order), so a publication entered three times is named twice.
std::vector<ProbableDuplicate> FindProbableDuplicates(const PublicationLists& lists);

// The rows an import would add to list `kind` that repeat a publication of the survey or an earlier
// row of the same import. The rows go after the list's rows (so `later.row` counts them), or, when
// `replacesList`, in its place.
std::vector<ProbableDuplicate> FindIncomingDuplicates(
    const PublicationLists& survey, int kind, const std::vector<QStringList>& incoming, bool replacesList = false);

// `rows` without the rows at the `incoming` indexes of `duplicates`.
std::vector<QStringList> WithoutDuplicates(
    const std::vector<QStringList>& rows, const std::vector<ProbableDuplicate>& duplicates);

} // namespace vestrum::lists
