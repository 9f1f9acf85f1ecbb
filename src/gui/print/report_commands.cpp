#include "gui/print/report_commands.h"

#include "gui/common/progress_window.h"
#include "gui/main/main_window.h"
#include "gui/main/section_io.h"
#include "gui/main/section_page.h"
#include "gui/print/paged_text_edit.h"
#include "gui/print/report_choice_window.h"
#include "gui/print/report_window.h"
#include "lists/list_data.h"
#include "print/report_document.h"
#include "program/program.h"
#include "survey/form_catalogue.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTextCursor>

namespace vestrum {

ReportCommands::ReportCommands(Program& program, MainWindow& main) : program_(program), main_(main) {}

ReportCommands::~ReportCommands() = default;

void ReportCommands::connectMenu()
{
    main_.setMenuCommand(QStringLiteral("Widoczny zakres danych"), [this] { printVisible(); });
    main_.setMenuCommand(QString::fromUtf8("Wybraną część ankiety"), [this] { chooseAndPrint(); });
    main_.setMenuCommand(QString::fromUtf8("Całą ankietę"), [this] { printWhole(); });
}

ReportWindow& ReportCommands::reportWindow()
{
    if (!report_)
        report_ = std::make_unique<ReportWindow>(program_, &main_);
    return *report_;
}

ReportChoiceWindow& ReportCommands::choiceWindow()
{
    if (!choice_)
        choice_ = std::make_unique<ReportChoiceWindow>(
            program_, [this](const report::TickedEntries& ticked) { print(ticked); }, &main_);
    return *choice_;
}

int ReportCommands::visibleEntry() const
{
    // The shown page tells its own place in the catalogue: no page needs to be built to find it.
    const SectionPageWidget* shown = main_.shownPage();
    if (!shown)
        return -1;
    const form::Section& section = shown->section();
    for (size_t p = 0; p < section.pages.size(); ++p)
        if (&section.pages[p] == &shown->page())
            return report::EntryOfVisiblePage(section.number - 1, static_cast<int>(p));
    return -1;
}

void ReportCommands::printVisible()
{
    report::TickedEntries ticked;
    const int entry = visibleEntry();
    if (entry >= 0)
        ticked.set(static_cast<size_t>(entry));
    print(ticked);
}

void ReportCommands::chooseAndPrint() { choiceWindow().exec(); }

void ReportCommands::printWhole() { print(report::TickedEntries().set()); }

// The pages as the main window shows them (a page not built yet is built and reads its answers
// first); the lists as their editor loads them.
report::ReportSource ReportCommands::source()
{
    report::ReportSource source;
    source.page = [this](int sectionIndex, int pageIndex) {
        SectionPageWidget* page = main_.page(sectionIndex, pageIndex);
        return page ? collectFieldValues(page, page->page()) : FieldValues{};
    };
    source.list = [this](int listKind) {
        lists::ListGrid grid = lists::LoadList(program_, listKind).grid;
        grid.sortBy(0);
        return grid;
    };
    return source;
}

report::ReportDocument ReportCommands::build(const report::TickedEntries& ticked)
{
    ProgressWindow& progress = main_.progress();
    progress.start(QStringLiteral("Przygotowanie danych"), QString(), static_cast<int>(ticked.count()),
                   QFont(program_.state.UserFont.name, program_.state.UserFont.size));
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    report::ReportDocument document;
    try {
        document = report::BuildReport(ticked, source(), QString::number(program_.state.ReportingYear),
                                       [&progress](int step, int, const QString& label) {
                                           progress.setLabel(label);
                                           progress.setPosition(step);
                                           QApplication::processEvents(); // the progress window repaints
                                       });
    } catch (...) {
        QGuiApplication::restoreOverrideCursor();
        progress.finish();
        throw;
    }
    QGuiApplication::restoreOverrideCursor();
    progress.finish();
    return document;
}

void ReportCommands::print(const report::TickedEntries& ticked)
{
    const report::ReportDocument built = build(ticked);
    ReportWindow& window = reportWindow();
    PagedTextEdit* edit = window.document();
    report::FillReportDocument(*edit->document(), built, report::ReportBodyFont(program_.state.UserFont));
    edit->pageLayout() = report::ReportPageLayout(built.setup);
    edit->moveCursor(QTextCursor::Start); // the report opens on its first line
    window.showReport();
}

} // namespace vestrum
