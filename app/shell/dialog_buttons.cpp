#include "dialog_buttons.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace vdx {

OkCancelButtons MakeOkCancelButtons(QWidget* dialog, bool okIsDefault) {
    OkCancelButtons b{new QPushButton("Ok", dialog), new QPushButton("Cancel", dialog), new QHBoxLayout};
    b.ok->setObjectName("btnOk");
    b.cancel->setObjectName("btnCancel");
    b.ok->setDefault(okIsDefault);
    b.ok->setAutoDefault(okIsDefault);
    b.cancel->setAutoDefault(false);
    b.row->addStretch();
    b.row->addWidget(b.ok);
    b.row->addWidget(b.cancel);
    return b;
}

}  // namespace vdx
