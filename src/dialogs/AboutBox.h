#pragma once
// TfAbout "ﾊﾞｰｼﾞｮﾝ情報": the product name, the version, the signature, the
// rights notice and the maker's web and mail addresses, which open on a click
// and can be copied with the "URL:" and "Mail:" buttons.
#include <QDialog>
#include <QLabel>

class QFrame;
class QPushButton;

namespace AboutTexts {
inline const QString WebAddress = QStringLiteral("https://orvanto.example.org/");
inline const QString MailAddress = QStringLiteral("support@orvanto.example.org");
inline const QString Rights = QStringLiteral("Copyright (C) 2026 Orvanto Project");
inline const QString Signature = QStringLiteral("Orvanto");
} // namespace AboutTexts

// A label that reports a click of the left button.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Shape1: an ellipse with a red pen 3 pixels wide and a diagonal hatch.
class TEllipseShape : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TfAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfAbout(QWidget* owner);

    QFrame* Panel1() const { return m_panel; }
    QLabel* ProgramIcon() const { return m_icon; }
    QLabel* Label1() const { return m_label1; }
    QLabel* Version() const { return m_version; }
    QLabel* Label2() const { return m_label2; }
    TEllipseShape* Shape1() const { return m_shape; }
    QLabel* Copyright() const { return m_rights; }
    TClickLabel* Url() const { return m_url; }
    TClickLabel* Mail() const { return m_mail; }
    QPushButton* Button1() const { return m_button1; }
    QPushButton* Button2() const { return m_button2; }
    QPushButton* OKButton() const { return m_ok; }

    void UrlClick();
    void MailClick();
    // Copies the address of the sender's tag (1 web, 2 mail) to the clipboard.
    void ButtonClick(QPushButton* sender);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();

    QFrame* m_panel = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_label2 = nullptr;
    TEllipseShape* m_shape = nullptr;
    QLabel* m_rights = nullptr;
    TClickLabel* m_url = nullptr;
    TClickLabel* m_mail = nullptr;
    QPushButton* m_button1 = nullptr;
    QPushButton* m_button2 = nullptr;
    QPushButton* m_ok = nullptr;
};
