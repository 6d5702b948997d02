#include "varnel/ui/layout.h"

#include <algorithm>

namespace varnel {

WindowResize SizeControls(MainLayout& l, double& X, double nonClientHeight) {
  // The free height and width around the parameter panel.
  double H = l.clientHeight - (l.pnlTop.height + l.pnlBottom.height + l.pnlBottom2.height);
  double W = l.clientWidth - l.pnlRight.width;

  // Minimum size: the window grows back and the resize lays it out again.
  WindowResize resize{false, l.outerWidth, l.outerHeight};
  if (H < l.pnlRight.height) {
    resize.needed = true;
    resize.height = l.pnlTop.height + l.pnlRight.height + l.pnlBottom.height +
                    l.pnlBottom2.height + std::max(kNonClientHeight, nonClientHeight);
  }
  if (W < l.pnlDriveData.width) {
    resize.needed = true;
    resize.width = l.pnlRight.width + l.pnlDriveData.width + (l.outerWidth - l.clientWidth);
  }
  if (resize.needed) return resize;

  // The panels aligned to the top and bottom of the client area span its width.
  l.pnlTop.left = 0;
  l.pnlTop.top = 0;
  l.pnlTop.width = l.clientWidth;
  l.pnlBottom2.left = 0;
  l.pnlBottom2.top = l.clientHeight - l.pnlBottom2.height;
  l.pnlBottom2.width = l.clientWidth;
  l.pnlBottom.left = 0;
  l.pnlBottom.top = l.pnlBottom2.top - l.pnlBottom.height;
  l.pnlBottom.width = l.clientWidth;

  // The parameter panel on the right, centred in the free height.
  l.pnlRight.left = W;
  l.pnlRight.top = l.pnlTop.height + (H - l.pnlRight.height) / 2;

  // The folder area takes the rest.
  l.pnlFiles.height = H + l.pnlTop.height - l.pnlFiles.top - l.pnlFiles.left;
  l.pnlFiles.width = W - l.pnlFiles.left;

  // The scan-list panel covers the folder area below its top.
  l.lstDisplayScanInfo.left = 0;
  l.lstDisplayScanInfo.width = l.pnlFiles.width;
  l.lstDisplayScanInfo.height = l.pnlFiles.height - l.lstDisplayScanInfo.top;

  // The splitter keeps 1500 twips on either side (the lower bound first).
  if (X < 1500) X = 1500;
  if (X > l.pnlFiles.width - 1500) X = l.pnlFiles.width - 1500;

  // Folder list left of the splitter, contents list right of it.
  l.DirMasterList.width = X;
  l.imgSplitter.left = X;
  l.lvContentsOf.left = X + 70;
  l.lvContentsOf.width = l.pnlFiles.width - l.lvContentsOf.left;
  l.lblTitle[0].width = X;
  l.lblTitle[1].left = l.lvContentsOf.left;
  l.lblTitle[1].width = l.lvContentsOf.width;

  // Both lists below the titles, down to the area's bottom.
  l.DirMasterList.top = l.lblTitle[0].bottom();
  l.DirMasterList.height = l.pnlFiles.height - l.DirMasterList.top - 40;
  l.lvContentsOf.top = l.DirMasterList.top;
  l.lvContentsOf.height = l.DirMasterList.height;
  l.imgSplitter.top = l.lblTitle[0].top;
  l.imgSplitter.height = l.DirMasterList.top + l.DirMasterList.height;

  // The file name and data field reach to the right edge.
  l.txtDataField.width = l.clientWidth - (l.txtDataField.left + 150);
  l.txtFileName.width = l.clientWidth - (l.txtFileName.left + 150);

  // The four command buttons, centred, 165 twips apart.
  l.cmdScan.left = (l.clientWidth - (4 * l.cmdScan.width + 495)) / 2;
  l.cmdScanNext.left = l.cmdScan.left + l.cmdScan.width + 165;
  l.cmdAutoMode.left = l.cmdScanNext.left + l.cmdScan.width + 165;
  l.cmdExit.left = l.cmdAutoMode.left + l.cmdScan.width + 165;

  // The folder buttons' row between the title band and the folder area;
  // Remove Folder ends where the contents list ends (pnlFiles is 100 twips in).
  l.pnlButtons = {0, l.pnlTop.height, W, l.pnlFiles.top - l.pnlTop.height};
  l.cmdRemoveDir.left = l.lvContentsOf.left + l.lvContentsOf.width - l.cmdRemoveDir.width + 100;

  // The title centred over the window.
  l.pnlJUX.left = (l.clientWidth - (l.pnlJUX.width + l.pnlAppTitle.width)) / 2;
  l.pnlAppTitle.left = l.pnlJUX.right();

  // The version centred under it.
  l.lblVersion.left = (l.outerWidth - l.lblVersion.width) / 2;
  return resize;
}

double SplitterBarLeft(const MainLayout& l, double mouseX) {
  double P = mouseX + l.imgSplitter.left;
  if (P < 1500) return 1500;
  if (P > l.pnlFiles.width - 1500) return l.pnlFiles.width - 1500;
  return P;
}

}  // namespace varnel
