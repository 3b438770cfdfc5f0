#include "qt/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QStyle>

namespace imconf {

QString ToQtFileFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString pattern = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        if (description.isEmpty() && pattern.isEmpty())
            continue;
        if (pattern.isEmpty())
            filters << description;
        else if (description.isEmpty())
            filters << pattern;
        else
            filters << description + " (" + QString(pattern).replace(u';', u' ') + ")";
    }
    return filters.join(";;");
}

QString QtDialogs::Title() const
{
    if (parent_ && !parent_->windowTitle().isEmpty())
        return parent_->windowTitle();
    return QApplication::applicationName();
}

void QtDialogs::ShowError(const std::string& text)
{
    QMessageBox box(QMessageBox::Critical, Title(), QString::fromStdString(text), QMessageBox::Ok,
                    parent_);
    box.exec();
}

bool QtDialogs::AskYesNoWarning(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, Title(), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::OpenFile(const OpenFileRequest& request)
{
    QFileDialog dialog(parent_, QString::fromStdString(request.Title),
                       QString::fromStdString(request.InitialDir), ToQtFileFilter(request.Filter));
    dialog.setObjectName("OpenDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!request.FileName.empty())
        dialog.selectFile(QString::fromStdString(request.FileName));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.first().toStdString();
}

int QtScreen::Height() const
{
    const QScreen* screen =
        window_ && window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

int QtScreen::VScrollBarWidth() const
{
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, window_.data());
}

int QtScreen::FrameHeight() const
{
    if (window_ && window_->isVisible()) {
        const int frame = window_->frameGeometry().height() - window_->geometry().height();
        if (frame > 0)
            return frame;
    }
    const int titleBar =
        std::max(24, QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight));
    return titleBar + 2 * 3;
}

}  // namespace imconf
