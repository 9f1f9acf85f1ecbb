#include "import/bibliography.h"

#include "base/codepage.h"
#include "base/error.h"
#include "import/import_text.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace vestrum;
using namespace vestrum::importing;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// A journal list whose journals carry their ISSN, as the current lists do.
struct JournalsWithIssn {
    QTemporaryDir dir;
    db::Connection connection;
    lists::JournalList list { connection };

    JournalsWithIssn()
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        db::Connection::create(path, schema::databasePassword());
        connection.open(path, schema::databasePassword());
        connection.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty "
                                          "INTEGER, rodzaj INTEGER, issn VARCHAR(9), eissn VARCHAR(9))"));
        const auto add = [this](const char* name, int points, const char* issn) {
            connection.execute(QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, 1, ?, '')"),
                { S(name), points, S(issn) });
        };
        add("Acta Physica Polonica B", 40, "0587-4254");
        add("Kwartalnik Historyczny", 70, "0023-5903");
        add("Studia Historyczne", 20, "0039-3223");
        list.open();
    }
};

// A BibTeX file as a reference manager exports it.
const char* const kBibTeX = R"(% Exported by a reference manager
@string{aphys = "Acta Physica " # "Polonica B"}
@string{kw = {Kwartalnik Historyczny}}

@article{kowalski2019,
  author    = {Kowalski, Jan Maria and Nowak-Wi{\'s}niewska, Anna and {\L}ukasz Zi{\k{e}}ba},
  title     = {O {\l}adunkach {W}ielkich {J}ader: {Nested {braces} stay} \& go},
  journal   = aphys,
  year      = 2019,
  volume    = {50},
  number    = {3},
  pages     = {101--120},
  issn      = {0587-4254},
  % a comment between fields
  note      = {ignored}
}

@ARTICLE(zieba2020,
  AUTHOR = "Jerzy Zi\k{e}ba and Maria de la Cruz",
  TITLE = "Dzieje {\L}odzi i \'{Z}r\'{o}de{\l}",
  JOURNAL = "Kwartalnik histor. " # kw,
  YEAR = "2020", ISSN = "0023-5903"
)

@misc{web1, title = {A web page}}
@misc{web2, title = {Another}}
@misc{web3, title = {And one more}}
@article{notitle, author = {Anonim, A.}, journal = {Studia Historyczne}, year = 2021}
@book{book1, title = {Not an article}, publisher = {PWN}}
)";

} // namespace

TEST(BibliographyBibTeX, ReferenceManagerFileBecomesArticleRowsIdentifiedByIssnFirst)
{
    JournalsWithIssn journals;
    const Bibliography bib = ReadBibliography(QByteArray(kBibTeX));
    EXPECT_EQ(bib.format, BibliographyFormat::BibTeX);
    const BibliographyRows out = BibliographyToRows(3, bib, &journals.list);
    ASSERT_EQ(out.rows.size(), 2u);

    const QStringList& first = out.rows[0];
    ASSERT_EQ(first.size(), ImportHeaders(3).size());
    EXPECT_EQ(first[0], S("Acta Physica Polonica B"));
    EXPECT_EQ(first[1], S("O ładunkach Wielkich Jader: Nested braces stay & go"));
    EXPECT_EQ(first[2], S("Kowalski J. M., Nowak-Wiśniewska A., Zięba Ł."));
    EXPECT_EQ(first[3], S("2019, 50(3), 101-120"));
    EXPECT_EQ(first[lists::kListedJournalColumn], S("Acta Physica Polonica B"));
    EXPECT_EQ(first[lists::kPointsColumn], S("40,00"));
    EXPECT_EQ(first[lists::kIssnColumn], S("0587-4254"));

    // The typed title names no journal of the list; the ISSN names one, and it wins.
    const QStringList& second = out.rows[1];
    EXPECT_EQ(second[0], S("Kwartalnik histor. Kwartalnik Historyczny"));
    EXPECT_EQ(second[1], S("Dzieje Łodzi i Źródeł"));
    EXPECT_EQ(second[2], S("Zięba J., de la Cruz M."));
    EXPECT_EQ(second[3], S("2020"));
    EXPECT_EQ(second[lists::kListedJournalColumn], S("Kwartalnik Historyczny"));
    EXPECT_EQ(second[lists::kPointsColumn], S("70,00"));

    EXPECT_EQ(out.skipped, (QStringList { S("pominięto 3 pozycje typu @misc"), S("pominięto 1 pozycję typu @book"),
                               S("pominięto 1 pozycję bez tytułu") }));
}

TEST(BibliographyBibTeX, LatexLettersAndEscapesAreDecodedToTheirCharacters)
{
    EXPECT_EQ(DecodeLatex(S(R"({\l}{\L}\'{o}\k{a}\k{e}\.{z}\'z\'{n}\'{c}\'{s}{\L}ódź)")), S("łŁóąężźńćśŁódź"));
    EXPECT_EQ(DecodeLatex(S(R"(M\"uller \"{U}ber \v{C}ech \'{\i}sland \ss{} \o{} \aa)")),
        S("Müller Über Čech ísland ß ø å"));
    // A blank after a command word belongs to the command, as TeX reads it.
    EXPECT_EQ(DecodeLatex(S(R"(\ss \o \L odz)")), S("ßøŁodz"));
    EXPECT_EQ(DecodeLatex(S(R"(R\&D 50\% \$5 a\_b \{x\} pages 1--2 a---b a~b)")),
        S("R&D 50% $5 a_b {x} pages 1–2 a—b a b"));
    EXPECT_EQ(DecodeLatex(S(R"(\textit{Homo} \emph{sapiens} $x$)")), S("Homo sapiens x"));
    // The composed letters, not a letter and a loose mark: a title is compared and stored as typed.
    EXPECT_EQ(DecodeLatex(S(R"(\k{a})")).size(), 1);
}

TEST(BibliographyBibTeX, NamesInEveryFormReferenceManagersWrite)
{
    const QString file = S(R"(@article{a, title = {T}, journal = {J}, year = 2020, author =
        {van der Berg, Jan and Jean-Pierre Dupont and {Polska Akademia Nauk} and Smith, Jr., John Adam
         and A.B. Kowalski AND Nowak, Anna Maria Józefa and others}})");
    const Bibliography bib = ReadBibTeX(file);
    ASSERT_EQ(bib.entries.size(), 1u);
    EXPECT_EQ(AuthorList(bib.entries[0].authors),
        S("van der Berg J., Dupont J.-P., Polska Akademia Nauk, Smith J. A., Kowalski A. B., "
          "Nowak A. M. J., i in."));
}

TEST(BibliographyRis, CrLfRecordsWithRepeatedAuthorsInWindows1250ForEveryKind)
{
    const QString text = S("TY  - JOUR\r\nAU  - Kowalski, Jan\r\nAU  - Nowak, Anna Maria\r\nA1  - Polska Akademia "
                           "Nauk\r\nTI  - Badania nad źródłami\r\n      i ich dziejami\r\nT2  - Studia Historyczne\r\n"
                           "PY  - 2018///\r\nVL  - 61\r\nIS  - 2\r\nSP  - 5\r\nEP  - 27\r\nSN  - 0039-3223 (Print)\r\n"
                           "ER  - \r\n"
                           "TY  - CHAP\r\nAU  - Żak, Ewa\r\nTI  - Rozdział o łąkach\r\nT2  - Księga łąk\r\n"
                           "PB  - Wydawnictwo Łódzkie\r\nCY  - Łódź\r\nPY  - 2017\r\nSP  - 10\r\nEP  - 20\r\nER  -\r\n"
                           "TY  - BOOK\r\nAU  - Żak, Ewa\r\nTI  - Księga łąk\r\nPB  - Wydawnictwo Łódzkie\r\n"
                           "PY  - 2017\r\nER  - \r\n"
                           "TY  - GEN\r\nTI  - Strona\r\nER  - \r\n");
    const QByteArray cp1250 = codepage::toWindows1250(text);
    const Bibliography bib = ReadBibliography(cp1250);
    EXPECT_EQ(bib.format, BibliographyFormat::Ris);
    ASSERT_EQ(bib.entries.size(), 4u);

    JournalsWithIssn journals;
    const BibliographyRows articles = BibliographyToRows(5, bib, &journals.list);
    ASSERT_EQ(articles.rows.size(), 1u);
    EXPECT_EQ(articles.rows[0].mid(0, 4),
        (QStringList { S("Studia Historyczne"), S("Badania nad źródłami i ich dziejami"),
            S("Kowalski J., Nowak A. M., Polska Akademia Nauk"), S("2018, 61(2), 5-27") }));
    EXPECT_EQ(articles.rows[0][lists::kIssnColumn], S("0039-3223"));
    EXPECT_EQ(articles.rows[0][lists::kPointsColumn], S("20,00"));
    EXPECT_EQ(articles.skipped,
        (QStringList { S("pominięto 1 pozycję typu CHAP"), S("pominięto 1 pozycję typu BOOK"),
            S("pominięto 1 pozycję typu GEN") }));

    // Chapters: the book's title, the chapter's own, place, year and pages; the kind's fixed points.
    const BibliographyRows chapters = BibliographyToRows(9, bib, nullptr);
    ASSERT_EQ(chapters.rows.size(), 1u);
    const lists::ListKindInfo& info9 = lists::ListKindInfoOf(9);
    EXPECT_EQ(chapters.rows[0],
        (QStringList { S("Wydawnictwo Łódzkie"), S("Księga łąk"), S("Rozdział o łąkach"), S("Żak E."),
            S("Łódź, 2017, 10-20"), QString::number(info9.fixedPoints) }));
    const BibliographyRows books = BibliographyToRows(10, bib, nullptr);
    ASSERT_EQ(books.rows.size(), 1u);
    EXPECT_EQ(books.rows[0].mid(0, 4),
        (QStringList { S("Wydawnictwo Łódzkie"), S("Księga łąk"), S("Żak E."), S("2017") }));
}

TEST(BibliographyCsl, JsonItemsWithLiteralAuthorsNumbersAndDateParts)
{
    const QByteArray json = R"([
      {"id": "a", "type": "article-journal", "title": "Kwartalnik i jego historia",
       "container-title": "Kwartalnik Historyczny", "ISSN": ["0023-5903", "2353-6403"],
       "author": [{"family": "Wiśniewski", "given": "Piotr Paweł"}, {"literal": "Zespół Redakcyjny"},
                  {"family": "Berg", "given": "Jan", "non-dropping-particle": "van den"}],
       "issued": {"date-parts": [[2021, 3, 1]]}, "volume": 128, "issue": "4", "page": "7–19"},
      {"id": "b", "type": "chapter", "title": "Rozdział", "container-title": "Tom zbiorowy",
       "publisher": "Universitas", "publisher-place": "Kraków", "issued": {"raw": "2016"},
       "author": [{"family": "Nowak", "given": "A."}]},
      {"id": "c", "type": "webpage", "title": "Strona"}
    ])";
    const Bibliography bib = ReadBibliography("\xEF\xBB\xBF" + json);
    EXPECT_EQ(bib.format, BibliographyFormat::CslJson);
    JournalsWithIssn journals;
    const BibliographyRows articles = BibliographyToRows(6, bib, &journals.list);
    ASSERT_EQ(articles.rows.size(), 1u);
    EXPECT_EQ(articles.rows[0].mid(0, 6),
        (QStringList { S("Kwartalnik Historyczny"), S("Kwartalnik i jego historia"),
            S("Wiśniewski P. P., Zespół Redakcyjny, van den Berg J."), S("2021, 128(4), 7-19"),
            S("Kwartalnik Historyczny"), S("70,00") }));
    EXPECT_EQ(articles.skipped, (QStringList { S("pominięto 1 pozycję typu chapter"), S("pominięto 1 pozycję typu webpage") }));

    const BibliographyRows chapters = BibliographyToRows(11, bib, nullptr);
    ASSERT_EQ(chapters.rows.size(), 1u);
    EXPECT_EQ(chapters.rows[0].mid(0, 5),
        (QStringList { S("Universitas"), S("Tom zbiorowy"), S("Rozdział"), S("Nowak A."), S("Kraków, 2016") }));

    EXPECT_THROW(ReadBibliography("[{\"type\": \"book\", "), Error);
}

TEST(BibliographyDetection, FormatIsToldByContentAndOtherFilesAreRefused)
{
    EXPECT_EQ(DetectBibliographyFormat(S("\n\n  [ {\"type\": \"book\"} ]")), BibliographyFormat::CslJson);
    EXPECT_EQ(DetectBibliographyFormat(S("\xEF\xBB\xBFTY  - JOUR\nER  - \n")), BibliographyFormat::Ris);
    EXPECT_EQ(DetectBibliographyFormat(S("Some preamble text\n@Article { x, title = {T} }")),
        BibliographyFormat::BibTeX);
    EXPECT_EQ(DetectBibliographyFormat(S("Lp;Tytuł;Autor\n1;x@y.pl;z\n")), std::nullopt);
    try {
        ReadBibliography("Lp;Tytuł;Autor\n1;a;b\n");
        FAIL() << "a delimited text is no bibliography";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), S("Zbiór nie jest bibliografią w formacie BibTeX, RIS ani CSL JSON."));
    }
    EXPECT_EQ(EntryCountText(1), S("1 pozycję"));
    EXPECT_EQ(EntryCountText(4), S("4 pozycje"));
    EXPECT_EQ(EntryCountText(12), S("12 pozycji"));
    EXPECT_EQ(EntryCountText(22), S("22 pozycje"));
    EXPECT_EQ(EntryCountText(25), S("25 pozycji"));
}

TEST(BibliographyHostile, BrokenAndMaliciousFilesEndQuicklyWithWhatCanBeRead)
{
    // An unclosed brace swallows nothing beyond the next entry: that one is read, the broken one counted.
    const Bibliography broken = ReadBibTeX(S("@article{a, title = {Never closed, journal = {J}, year = 2019,\n"
                                             "@article{b, title = {Read}, journal = {J}, year = 2020}\n"
                                             "@article{c, title = \"Unclosed quote, year = 2021}\n"));
    ASSERT_EQ(broken.entries.size(), 1u);
    EXPECT_EQ(broken.entries[0].title, S("Read"));
    EXPECT_EQ(broken.unreadable, 2);
    EXPECT_EQ(BibliographyToRows(3, broken, nullptr).skipped.last(),
        S("pominięto 2 pozycje, których nie można odczytać (niedomknięte nawiasy lub cudzysłowy)"));

    // Macros that name each other, and macros that double at every step, end bounded.
    QString macros = S("@string{a = b}\n@string{b = a # a}\n@string{c = \"xy\"}\n");
    for (int i = 0; i < 60; ++i)
        macros += S("@string{c = c # c}\n");
    macros += S("@article{x, title = a # b # c, journal = {J}, year = 2020}");
    const Bibliography recursive = ReadBibTeX(macros);
    ASSERT_EQ(recursive.entries.size(), 1u);
    EXPECT_LE(recursive.entries[0].title.size(), 1024 * 1024);

    // One entry of 5 MB, and braces nested a million deep, are read without recursion.
    const QString big = S("@article{big, title = {Big}, abstract = {") + QString(5 * 1024 * 1024, u'x')
        + S("}, journal = {J}, year = 2020}");
    const Bibliography large = ReadBibTeX(big);
    ASSERT_EQ(large.entries.size(), 1u);
    EXPECT_EQ(large.entries[0].journal, S("J"));
    const QString deep = S("@article{deep, title = ") + QString(1000000, u'{') + S("x") + QString(1000000, u'}')
        + S(", year = 2020}");
    const Bibliography nested = ReadBibTeX(deep);
    ASSERT_EQ(nested.entries.size(), 1u);
    EXPECT_EQ(nested.entries[0].title, S("x"));
    EXPECT_EQ(DecodeLatex(QString(200000, u'{') + S("\\'") + QString(200000, u'{') + S("o")), S("ó"));

    // JSON nested beyond the parser's depth is refused as no JSON, never a crash.
    EXPECT_THROW(ReadCslJson(QByteArray(100000, '[')), Error);
    // A RIS file without an end keeps its last record; text before the first record is ignored.
    const Bibliography ris = ReadRis(S("garbage\nTI  - lost\nTY  - JOUR\nTI  - Kept\n"));
    ASSERT_EQ(ris.entries.size(), 1u);
    EXPECT_EQ(ris.entries[0].title, S("Kept"));
}
