L = L or {}
L["LOADED"] = "團隊框架 已載入"
L["TITLE"] = "團隊框架"
