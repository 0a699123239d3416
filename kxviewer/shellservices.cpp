#include "kxviewer/shellservices.h"

#include <mutex>
#include <utility>

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

#include "kxviewer/docloader.h"
#include "utils/osal/process.h"

ZmLib::KX KxvTearoffChannel("TEAROFF");
ZmLib::KX KxvSyslogChannel("SYSLOG");

namespace {

// Stands in where no dialog can be shown: hidden, never cancelled by a user.
class HiddenProgress : public KxvProgress {
public:
    void Show() override {}
    bool IsVisible() const override { return false; }
    void SetValue(int) override {}
    bool WasCanceled() const override { return canceled_; }
    void Cancel() override { canceled_ = true; }
    void Close() override {}

private:
    bool canceled_ = false;
};

// A progress dialog that, once firm, has no cancel button and stays on show
// through Escape and its window's close button.
class FirmProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;

    // A click on the cancel button begun while it was offered counts: held
    // down now, it cancels the dialog instead.
    void MakeFirm()
    {
        const QPushButton* button = findChild<QPushButton*>();
        if (button && button->isDown()) {
            cancel();
            return;
        }
        firm_ = true;
        setCancelButton(nullptr);
        // The Escape shortcut that came with the button.
        for (QShortcut* shortcut : findChildren<QShortcut*>())
            shortcut->setEnabled(false);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (firm_ && event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QProgressDialog::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (firm_) {
            event->ignore();
            return;
        }
        QProgressDialog::closeEvent(event);
    }

private:
    bool firm_ = false;
};

class DialogProgress : public KxvProgress {
public:
    DialogProgress(QWidget* parent, const QString& label, const QString& cancelText, int minimum, int maximum)
        : dialog_(new FirmProgressDialog(label, cancelText, minimum, maximum, parent))
    {
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        // The dialog would show itself after its minimum duration; only the
        // caller decides when it appears.
        dialog_->reset();
    }
    // The dialog may have gone with its window.
    ~DialogProgress() override { delete dialog_; }

    void Show() override
    {
        if (dialog_)
            dialog_->show();
    }
    bool IsVisible() const override { return dialog_ && dialog_->isVisible(); }
    void SetValue(int value) override
    {
        if (dialog_)
            dialog_->setValue(value);
    }
    void SetLabel(const QString& label) override
    {
        if (dialog_)
            dialog_->setLabelText(label);
    }
    void FitLabel(const QString& label) override
    {
        if (!dialog_)
            return;
        // The dialog's size hint measures its label with the label's font.
        const QString shown = dialog_->labelText();
        dialog_->setLabelText(label);
        dialog_->setMinimumWidth(std::max(dialog_->minimumWidth(), dialog_->sizeHint().width()));
        dialog_->setLabelText(shown);
    }
    void SetWindow(QWidget* window) override
    {
        if (dialog_ && window && dialog_->parentWidget() != window->window())
            dialog_->setParent(window->window(), dialog_->windowFlags());
    }
    void ForbidCancel() override
    {
        if (dialog_)
            dialog_->MakeFirm();
    }
    bool WasCanceled() const override { return !dialog_ || dialog_->wasCanceled(); }
    void Cancel() override
    {
        if (dialog_)
            dialog_->cancel();
    }
    void Close() override
    {
        if (dialog_)
            dialog_->hide();
    }

private:
    QPointer<FirmProgressDialog> dialog_;
};

// The services before the main window exists: besides the debug stream's
// record, what a window would show is held for it.
class HoldingServices : public KxvShellServices {
public:
    void AddToSystemLog(const QString& text, LogIcon icon) override
    {
        KxvShellServices::AddToSystemLog(text, icon);
        KxvHeldMessage held;
        held.text = text;
        held.icon = icon;
        Hold(held);
    }
    int Information(const QString& text, bool warning) override
    {
        KxvHeldMessage held;
        held.text = text;
        held.box = true;
        held.warning = warning;
        Hold(held);
        return KxvShellServices::Information(text, warning);
    }

    std::vector<KxvHeldMessage> Take()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return std::move(held_);
    }

private:
    void Hold(KxvHeldMessage& held)
    {
        held.micros = ZmLib::NowMicros();
        const std::lock_guard<std::mutex> lock(mutex_);
        if (held_.size() < KXV_HELD_MAX)
            held_.push_back(std::move(held));
    }

    std::mutex mutex_;
    std::vector<KxvHeldMessage> held_;
};

HoldingServices g_defaults;
KxvShellServices* g_current = nullptr;

} // namespace

void KxvShellServices::AddToSystemLog(const QString& text, LogIcon)
{
    KxvSyslogChannel.NoticeText(0, text.toLocal8Bit().constData());
}

void KxvShellServices::ShowStatus(const QString& text, bool, int)
{
    KxvSyslogChannel.Notice(0, "status: %s", text.toLocal8Bit().constData());
}

int KxvShellServices::Information(const QString& text, bool)
{
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Information: %s", text.toLocal8Bit().constData());
    return QMessageBox::Ok;
}

bool KxvShellServices::Ask(const QString& text)
{
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Question: %s", text.toLocal8Bit().constData());
    return true;
}

void KxvShellServices::ProcessEvents()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents();
}

QWidget* KxvShellServices::MainWidget() const { return nullptr; }

void KxvShellServices::StartUpdateCheck() {}

void KxvShellServices::ShowHelpPage(const QString&) {}

void KxvShellServices::ForgetImportEditor() {}

QString KxvShellServices::OpenFileName() { return QString(); }

std::unique_ptr<DocLoader> KxvShellServices::ImportFile(const QString& path, int32_t, int32_t)
{
    AddToSystemLog(QStringLiteral("Import format for file '%1' not found").arg(path));
    return nullptr;
}

std::unique_ptr<KxvProgress> KxvShellServices::CreateProgress(const QString& label, const QString& cancelText,
                                                              int minimum, int maximum)
{
    QWidget* parent = MainWidget();
    if (parent == nullptr || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return std::make_unique<HiddenProgress>();
    return std::make_unique<DialogProgress>(parent, label, cancelText, minimum, maximum);
}

std::vector<KxvHeldMessage> KxvTakeHeldMessages() { return g_defaults.Take(); }

KxvShellServices& KxvShell() { return g_current != nullptr ? *g_current : g_defaults; }

KxvShellServices* KxvSetShell(KxvShellServices* services)
{
    KxvShellServices* previous = g_current;
    g_current = services;
    return previous;
}
