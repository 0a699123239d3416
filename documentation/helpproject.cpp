#include "helpproject.h"

#include <cstring>

#include <QRegularExpression>
#include <QSet>

#include "kxviewer/actiontable.h"
#include "kxviewer/table/comactionbase.h"
#include "kxviewer/table/tabbindings.h"

namespace HelpProject {

namespace {

// The hand-written page that tells more about a command.
struct SeeAlso {
    int32_t id;
    const char* page;
    const char* title;
};

constexpr char SEARCH_PAGE[] = "search.html";
constexpr char SEARCH_TITLE[] = "Search expressions";
constexpr char SCRIPTS_PAGE[] = "scripts.html";
constexpr char SCRIPTS_TITLE[] = "Scripts";
constexpr char FORMATS_PAGE[] = "importformats.html";
constexpr char FORMATS_TITLE[] = "Import formats";

constexpr SeeAlso SEE_ALSO[] = {
    {ACT_IMPORT, FORMATS_PAGE, FORMATS_TITLE},     {ACT_IMPORT_FORMATS, FORMATS_PAGE, FORMATS_TITLE},
    {ACT_FIND, "filedialog.html#find", "Find dialog"}, {ACT_FIND_NEXT, SEARCH_PAGE, SEARCH_TITLE},
    {ACT_FIND_BACK, SEARCH_PAGE, SEARCH_TITLE},    {71, SEARCH_PAGE, SEARCH_TITLE}, // Select
    {75, SEARCH_PAGE, SEARCH_TITLE},               {77, SEARCH_PAGE, SEARCH_TITLE}, // Highlight, Filter
    {81, SEARCH_PAGE, SEARCH_TITLE},               {83, SEARCH_PAGE, SEARCH_TITLE}, // Mark, Pin
    {ACT_SCRIPT_PANEL, SCRIPTS_PAGE, SCRIPTS_TITLE}, {ACT_SCRIPT_RUN, SCRIPTS_PAGE, SCRIPTS_TITLE},
    {ACT_SCRIPT_ADD, SCRIPTS_PAGE, SCRIPTS_TITLE}, {ACT_SCRIPT_STOP, SCRIPTS_PAGE, SCRIPTS_TITLE},
};

// What the commands without a status tip of their own do.
struct Purpose {
    int32_t id;
    const char* text;
};

constexpr Purpose PURPOSES[] = {
    {ACT_CHECK_UPDATES, "Ask the update server for a newer version (only in a build with an update address)"},
    {ACT_SHOW_MAIN_MENU, "Show or hide the menu bar"},
    {ACT_SHOW_MAIN_TOOLBAR, "Show or hide the main toolbars"},
    {ACT_SYSTEM_PANELS, "Show or hide the System Log and Debug panels"},
    {ACT_OPEN_DEBUG_LOG, "Open the program's own log file as a document"},
    {24, "Show or hide the document's side panels (Info, aux tree, Outline, History)"},
    {ACT_SCRIPT_PANEL, "Show or hide the Scripts panel"},
    {ACT_GRAPH, "Open the graph of the current document"},
    {35, "Compare the marked document (Ctrl+click its tab) with the current one in the diff program of the "
         "preferences"},
    {39, "Indent the text by the record's nesting depth"},
    {46, "Choose the two fields of the aux tree"},
    {ACT_JUMP_HOME, "Go to the first row"},
    {ACT_JUMP_END, "Go to the last row"},
    {ACT_FIND_NEXT, "Find the next row that matches the find line"},
    {ACT_FIND_BACK, "Find the previous row that matches the find line"},
    {89, "Show only the rows of the aux-tree item"},
    {90, "Select the rows of the aux-tree item"},
    {95, "Compare two ranges of the Outline in the diff program of the preferences"},
    {ACT_SCRIPT_RUN, "Run the chosen script; while it runs, pause or resume it"},
    {ACT_SCRIPT_ADD, "Add a script file to the Scripts panel"},
    {ACT_SCRIPT_DELETE, "Remove the script from the Scripts panel"},
    {ACT_SCRIPT_STOP, "Stop the running script"},
    {125, "Show or hide the graph's grid"},
    {128, "Zoom the graph in"},
    {129, "Zoom the graph out"},
    {130, "Show the graph's whole time range again"},
    {38, "Put each record's function name in front of its text"},
    {42, "Mark the records whose presentation has errors"},
    {50, "Bring the graph back to its cursor"},
    {67, "Copy the rows of the Outline's checked ranges to the clipboard"},
    {73, "Select the rows of the function that embraces the current row"},
    {83, "Keep the find line's phrase highlighted in every row; again to unpin it"},
    {84, "Remove every pinned phrase"},
    {87, "Put the current row's text into the Find dialog"},
    {88, "Open the History item's search in the Find dialog"},
    {91, "Give the chosen Outline ranges the current selection colour"},
    {92, "Choose a new colour for the chosen Outline ranges"},
    {93, "Copy the rows of the chosen Outline ranges as plain text"},
    {94, "Copy the rows of the chosen Outline ranges as rich text"},
    {96, "Remove the chosen ranges from the Outline"},
    {97, "Copy the whole aux tree to the clipboard"},
    {98, "Collapse or expand the aux tree each time it is built again"},
    {99, "Collapse every item of the aux tree"},
    {100, "Expand every item of the aux tree"},
    {102, "Remove the filter set from the aux tree"},
    {103, "Clear the selection made from the aux tree"},
    {104, "Show every thread on the graph again"},
    {105, "Delete the entry from the find line's search history"},
    {ACT_SCRIPT_CLEAR_COUNTER, "Set the script's run count back to 0"},
    {ACT_SCRIPT_COPY, "Copy the script's lines to the clipboard"},
    {115, "Show only the rows inside the Outline's ranges"},
    {118, "Collapse or expand each new History item as it comes"},
    {124, "Choose the graph's background colour"},
    {126, "Start a selection of rows at the graph's cursor"},
    {127, "End the selection of rows at the graph's cursor"},
    {133, "Write the presentation errors under the mouse to the System Log"},
    {134, "Write what the graph shows at the point to the System Log"},
    {135, "Move the chosen field one place down (Fields dialog)"},
    {136, "Move the chosen field to the bottom (Fields dialog)"},
    {137, "Move the chosen field one place up (Fields dialog)"},
    {138, "Move the chosen field to the top (Fields dialog)"},
};

// Menu entries that are no command of the action table; the window gives
// each the What's-this text of its name.
struct MenuEntry {
    const char* name;
    const char* key;
    const char* text;
};

constexpr MenuEntry MENU_ENTRIES[] = {
    {"Recent Files", "", "Open one of the last files again, with the import format it was read with"},
    {"Toolbar", "", "Show or hide each toolbar of the main window"},
    {"Panel's Toolbar", "", "Show or hide each toolbar of the document tabs"},
    {"What's This?", "Shift+F1", "Click it, then a button or a menu entry, to come to its line on this page"},
};

QString MenuAnchor(const MenuEntry& entry) { return QStringLiteral("menu%1").arg(&entry - MENU_ENTRIES); }

QString PurposeOf(const ComAction& descriptor, int32_t id, const QString& tip)
{
    if (descriptor.tip != nullptr)
        return tip;
    for (const Purpose& purpose : PURPOSES)
        if (purpose.id == id)
            return QLatin1String(purpose.text);
    return QString();
}

QString Html(const QString& text) { return text.toHtmlEscaped(); }

// Attribute text: a tab must stay a tab, which a literal one would not.
QString Attribute(const QString& text) { return Html(text).replace(QLatin1Char('\t'), QLatin1String("&#9;")); }

// A command that every window binding it hides, as it does not exist on
// this system; one that a document tab shows ("&Match Case") is no such.
bool Hidden(int32_t id)
{
    bool bound = false;
    for (const ComActionBinding* list : {MainWindowBindings, TabBaseBindings, PaneDocksBindings})
        for (const ComActionBinding* binding = list; binding->id >= 0; ++binding) {
            if (binding->id != id)
                continue;
            if (std::strcmp(binding->slot, "1notImplemented()") != 0)
                return false;
            bound = true;
        }
    return bound;
}

struct Command {
    int32_t id;
    QString whatsThis; // purpose, then a tab and the key when it has one
    QString anchor;
};

// The commands that have a What's-this text, each text once (the first
// command with it stands for the others).
QList<Command> Commands()
{
    QList<Command> commands;
    QSet<QString> seen;
    for (int32_t id = 0; id < ACTION_TABLE_SIZE; ++id) {
        const ComAction& descriptor = ActionDescriptor(id);
        if (descriptor.text == nullptr || Hidden(id))
            continue;
        const QString text = ComActionFactory::WhatsThisText(descriptor);
        if (text.isEmpty() || seen.contains(text))
            continue;
        seen.insert(text);
        commands.append({id, text, QStringLiteral("cmd%1").arg(id)});
    }
    return commands;
}

QString SeeAlsoLink(int32_t id)
{
    for (const SeeAlso& see : SEE_ALSO)
        if (see.id == id)
            return QStringLiteral(" (see <a href=\"%1\">%2</a>)").arg(QLatin1String(see.page), QLatin1String(see.title));
    return QString();
}

} // namespace

QString Project()
{
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<QtHelpProject version=\"1.0\">\n"
                                 "  <namespace>kxviewer</namespace>\n"
                                 "  <virtualFolder>documenation</virtualFolder>\n"
                                 "  <filterSection>\n"
                                 "    <toc>\n"
                                 "      <section title=\"KxViewer\" ref=\"index.html\">\n"
                                 "        <section title=\"Document window\" ref=\"filedialog.html\"/>\n"
                                 "        <section title=\"Commands\" ref=\"%1\"/>\n"
                                 "        <section title=\"Search expressions\" ref=\"search.html\"/>\n"
                                 "        <section title=\"Scripts\" ref=\"scripts.html\"/>\n"
                                 "        <section title=\"Import formats\" ref=\"importformats.html\"/>\n"
                                 "      </section>\n"
                                 "    </toc>\n"
                                 "    <keywords>\n"
                                 "      <keyword name=\"status\" id=\"status\" ref=\"index.html#status\"/>\n"
                                 "      <keyword name=\"Find Dialog\" id=\"Find Dialog\" ref=\"filedialog.html#find\"/>\n")
                      .arg(QLatin1String(COMMANDS_PAGE));
    for (const Command& command : Commands())
        out += QStringLiteral("      <keyword name=\"%1\" id=\"%1\" ref=\"%2#%3\"/>\n")
                   .arg(Attribute(command.whatsThis), QLatin1String(COMMANDS_PAGE), command.anchor);
    for (const MenuEntry& entry : MENU_ENTRIES)
        out += QStringLiteral("      <keyword name=\"%1\" id=\"%1\" ref=\"%2#%3\"/>\n")
                   .arg(Attribute(QLatin1String(entry.name)), QLatin1String(COMMANDS_PAGE), MenuAnchor(entry));
    out += QStringLiteral("    </keywords>\n"
                          "    <files>\n"
                          "      <file>index.html</file>\n"
                          "      <file>filedialog.html</file>\n"
                          "      <file>%1</file>\n"
                          "      <file>search.html</file>\n"
                          "      <file>scripts.html</file>\n"
                          "      <file>importformats.html</file>\n"
                          "    </files>\n"
                          "  </filterSection>\n"
                          "</QtHelpProject>\n")
               .arg(QLatin1String(COMMANDS_PAGE));
    return out;
}

QString CommandsPage()
{
    QString out = QStringLiteral(
        "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>Commands</title></head>\n<body>\n"
        "<h1>Commands</h1>\n"
        "<p>The commands of the menus, the toolbars and the context menus, with their keys. Click "
        "<b>What's This?</b> (Shift+F1) and then a button or a menu entry to come to its line here.</p>\n"
        "<table border=\"1\" cellpadding=\"3\">\n"
        "<tr><th>command</th><th>key</th><th>what it does</th></tr>\n");
    for (const Command& command : Commands()) {
        const int tab = command.whatsThis.indexOf(QLatin1Char('\t'));
        const QString purpose = tab < 0 ? command.whatsThis : command.whatsThis.left(tab);
        QString key = tab < 0 ? QString() : command.whatsThis.mid(tab + 1);
        // A menu text may carry its key after a run of blanks ("Show Main Menu    F10").
        const QStringList parts = QString::fromLatin1(ActionDescriptor(command.id).text)
                                      .remove(QLatin1Char('&'))
                                      .split(QRegularExpression(QStringLiteral("\\s{2,}")), Qt::SkipEmptyParts);
        const QString name = parts.value(0);
        if (key.isEmpty())
            key = parts.value(1);
        out += QStringLiteral("<tr><td><b id=\"%1\">%2</b></td><td>%3</td><td>%4%5</td></tr>\n")
                   .arg(command.anchor, Html(name), Html(key), Html(PurposeOf(ActionDescriptor(command.id), command.id, purpose)),
                        SeeAlsoLink(command.id));
    }
    for (const MenuEntry& entry : MENU_ENTRIES)
        out += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td><td id=\"%3\">%4</td></tr>\n")
                   .arg(Html(QLatin1String(entry.name)), QLatin1String(entry.key), MenuAnchor(entry),
                        Html(QLatin1String(entry.text)));
    out += QStringLiteral("</table>\n<p>Back to <a href=\"index.html\">the overview</a>.</p>\n</body>\n</html>\n");
    return out;
}

} // namespace HelpProject
