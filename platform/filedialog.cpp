#include "platform/filedialog.h"

#include "platform/textcodec.h"

#include <QFileDialog>

namespace platform {

namespace {

std::function<std::optional<std::string>(const std::string&)>& chooserSeam()
{
    static std::function<std::optional<std::string>(const std::string&)> chooser;
    return chooser;
}

} // namespace

std::optional<std::string> chooseSaveFile(QWidget* parent, const std::string& caption, const std::string& suggestedPath,
                                          const std::string& filter)
{
    if (chooserSeam())
        return chooserSeam()(suggestedPath);
    const QString chosen = QFileDialog::getSaveFileName(parent, toWidgetText(caption), toWidgetText(suggestedPath),
                                                        toWidgetText(filter));
    if (chosen.isEmpty())
        return std::nullopt;
    return fromWidgetText(chosen);
}

void setSaveFileChooser(std::function<std::optional<std::string>(const std::string& suggestedPath)> chooser)
{
    chooserSeam() = std::move(chooser);
}

} // namespace platform
