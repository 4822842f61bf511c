L = L or {}
L["LOADED"] = "聊天分頁 已載入"
L["TITLE"] = "聊天分頁"
