L = L or {}
L["LOADED"] = "背包整理 已載入"
L["TITLE"] = "背包整理"
