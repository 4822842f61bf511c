L = L or {}
L["LOADED"] = "戰鬥文字 已載入"
L["TITLE"] = "戰鬥文字"
