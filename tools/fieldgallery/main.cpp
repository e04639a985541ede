// Shows the field editors in their states: fieldgallery [--shot file.png]
// With --shot the window is rendered into the file and the program ends.

#include "fields/fieldgallery.h"
#include "platform/widgets/qtprompter.h"

#include <QApplication>
#include <QImage>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    mk::QtPrompter prompter;
    mk::ScopedPrompter usePrompter(prompter);
    mk::TFieldGallery gallery;
    gallery.resize(360, 420);
    gallery.show();
    const QStringList args = app.arguments();
    const qsizetype shot = args.indexOf(QStringLiteral("--shot"));
    if (shot >= 0 && shot + 1 < args.size()) {
        QApplication::processEvents();
        return gallery.grab().toImage().save(args.at(shot + 1)) ? 0 : 1;
    }
    return app.exec();
}
