// The light style sheets the side panes of a document share.
#pragma once

inline constexpr char PaneDockStyle[] = "QDockWidget{background:#fafafa} QDockWidget::title{background:#fafafa; "
                                        "padding-left:5px; padding-top:2px}";
inline constexpr char PaneTreeStyle[] = "QTreeView{border:1px solid #e9e9e9}";
// The same border on the aux-tree pane, a list view of its own class.
inline constexpr char AuxTreeStyle[] = "AuxTreeView{border:1px solid #e9e9e9}";
inline constexpr char BorderlessGroupStyle[] = "QGroupBox{border:0}";
