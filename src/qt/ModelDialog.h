// A modal dialog built from a control model (form::Platform::ShowDialog): one widget per
// control, placed on grids by its name, every user change written to its control and
// handed to the dialog's logic, and the model shown again after it.
#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QScrollArea>
#include <functional>
#include <unordered_map>

#include "form/Platform.h"

namespace qt {

class ModelDialog : public QDialog {
  public:
    ModelDialog(form::FormModel& model, std::function<form::DialogEnd(form::Control&)> changed, QWidget* parent);

    // The widget of a control (object name = ControlId::ObjectName()).
    QWidget* WidgetOf(const form::Control& control) const { return widgets_.at(&control); }

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Files and folders dropped anywhere on the dialog go to the text box that takes them.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void Dispatch(form::Control& control);
    void FitWrappedTexts();
    void FitScreen();
    void Mirror();

    form::FormModel& model_;
    std::function<form::DialogEnd(form::Control&)> changed_;
    std::unordered_map<const form::Control*, QWidget*> widgets_;
    bool busy_ = false;  // the model is being shown: the widgets' own signals are echoes
    form::Control* dropTarget_ = nullptr;  // the text box that takes dropped files
    QScrollArea* body_ = nullptr;          // every control but the buttons that end the dialog
    QHBoxLayout* buttons_ = nullptr;
};

}  // namespace qt
