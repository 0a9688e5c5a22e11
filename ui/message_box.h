// Messages to the user: a message box with one OK button, owned by the
// window that reports.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// The caption of every message but the start-up one.
inline constexpr char kMessageCaption[] = "Vidorlan Message";

// Shows `text` modally over `owner` (none: an ownerless box) and returns
// when the user has dismissed it.
void Show_Message(QWidget* owner, const QString& text,
                  const QString& caption = QString::fromLatin1(kMessageCaption));

// Receives every message instead of a box; tests install one to see what
// would have been shown without anything waiting for a click.
using MessageHandler =
    std::function<void(QWidget* owner, const QString& caption, const QString& text)>;

// Installs `handler` (an empty one restores the box) and returns the one it
// replaces.
MessageHandler Set_Message_Handler(MessageHandler handler);
