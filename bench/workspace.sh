# Sourced by the benchmark scripts (not run on its own).
# A workspace: EDI.ini (CP932, CR LF) for an SQLite database and the PATH folders.
make_workspace() {  # FOLDER PACKAGE-COMMAND
  local ws=$1
  mkdir -p "$ws"/{in,out,old,status,param,send,package}
  cat <<INI | sed 's/$/\r/' | iconv -f UTF-8 -t CP932 > "$ws/EDI.ini"
[動作環境]
DBENGINE=SQLITE
DBFILE=edi.db
USERID=
PASSWD=
DBSTRING=

[Setting0]
FormBackColor=&HE0E0E0
LabelBackColor=&HFFFFFF
LabelForeColor=&H000000
LabelFontBold=False
LabelFontItalic=False
LabelFontName=IPAGothic
LabelFontSize=10
LabelFontStrikethru=False
LabelFontUnderline=False
TextBackColor=&HFFFFFF
TextForeColor=&H000000
TextFocusColor=&HFFFF00
TextFontBold=False
TextFontItalic=False
TextFontName=IPAGothic
TextFontSize=10
TextFontStrikethru=False
TextFontUnderline=False
TitleBackColor=&H804000
TitleForeColor=&HFFFFFF
TitleFontBold=True
TitleFontItalic=False
TitleFontName=IPAGothic
TitleFontSize=10
TitleFontStrikethru=False
TitleFontUnderline=False

[P113010]
MINIMAIZE=0
DEMOMODE=0

[PATH]
EDIINFIL=in/
EDIOUTFIL=out/
MGSTPATH=status
OLD_FILE=old/
PRPATH=param
MGCMDLINEZS=$2
FL1102_FILE=
MGTIMEOUT=60
ERRLOG=ERR.LOG

[COLOR]
通常=&H000000
エラー=&H0000FF
処理済=&HC00000
処理中=&H008000

[JKBN_J_S]
0101
INI
}
