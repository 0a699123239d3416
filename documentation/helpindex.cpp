// Writes the help project of the viewer: the pages of the folder and one
// keyword for every What's-this text the program shows (each command's tip
// with its shortcut, "status" and "Find Dialog"), so that a What's-this click finds its
// entry. Usage: kxvhelpindex <output .qhp>
#include <cstdio>

#include <QFile>
#include <QGuiApplication>
#include <QSet>
#include <QTextStream>

#include "kxviewer/actiontable.h"
#include "kxviewer/table/comactionbase.h"

namespace {

// Attribute text: a tab must stay a tab, which a literal one would not.
QString Attribute(QString text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\t'), QLatin1String("&#9;"));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kxvhelpindex <output .qhp>\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "kxvhelpindex: cannot write %s\n", argv[1]);
        return 1;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<QtHelpProject version=\"1.0\">\n"
           "  <namespace>kxviewer</namespace>\n"
           "  <virtualFolder>documenation</virtualFolder>\n"
           "  <filterSection>\n"
           "    <toc>\n"
           "      <section title=\"KxViewer\" ref=\"index.html\">\n"
           "        <section title=\"Document window\" ref=\"filedialog.html\"/>\n"
           "        <section title=\"Search expressions\" ref=\"search.html\"/>\n"
           "        <section title=\"Scripts\" ref=\"scripts.html\"/>\n"
           "        <section title=\"Import formats\" ref=\"importformats.html\"/>\n"
           "      </section>\n"
           "    </toc>\n"
           "    <keywords>\n"
           "      <keyword name=\"status\" id=\"status\" ref=\"index.html#status\"/>\n"
           "      <keyword name=\"Find Dialog\" id=\"Find Dialog\" ref=\"filedialog.html#find\"/>\n";
    QSet<QString> written;
    for (int32_t id = 0; id < ACTION_TABLE_SIZE; ++id) {
        const ComAction& descriptor = ActionDescriptor(id);
        if (descriptor.text == nullptr)
            continue;
        const QString text = ComActionFactory::WhatsThisText(descriptor);
        if (text.isEmpty() || written.contains(text))
            continue;
        written.insert(text);
        const QString page = descriptor.enableRule >= 2 ? QStringLiteral("filedialog.html#commands")
                                                        : QStringLiteral("index.html#commands");
        out << "      <keyword name=\"" << Attribute(text) << "\" id=\"" << Attribute(text) << "\" ref=\"" << page
            << "\"/>\n";
    }
    out << "    </keywords>\n"
           "    <files>\n"
           "      <file>index.html</file>\n"
           "      <file>filedialog.html</file>\n"
           "      <file>search.html</file>\n"
           "      <file>scripts.html</file>\n"
           "      <file>importformats.html</file>\n"
           "    </files>\n"
           "  </filterSection>\n"
           "</QtHelpProject>\n";
    out.flush();
    if (out.status() != QTextStream::Ok || !file.flush()) {
        std::fprintf(stderr, "kxvhelpindex: write failed: %s\n", argv[1]);
        return 1;
    }
    return 0;
}
