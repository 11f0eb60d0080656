#pragma once
#include <QDialog>

// The member-ID copy window ("解除サポート"): floats above the browser while
// the reader logs in to a cancel page. Created seventh at start-up.
class TMIDCopyForm : public QDialog {
    Q_OBJECT
public:
    explicit TMIDCopyForm(QWidget *parent = nullptr);
    ~TMIDCopyForm() override;
};

extern TMIDCopyForm *MIDCopyForm;
