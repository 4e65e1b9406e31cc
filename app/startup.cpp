// Start-up and session state.
//
// Settings the platform provides by construction rather than as switches: tables open
// shared unless the caller says otherwise (every open here states its mode), dates use
// four-digit years in the form dd.mm.yyyy, deleted records are hidden, form input has no
// status line and no bell, confirmation and insert mode are on, menus wrap, the break
// key is off, and every file name is trimmed and lower-cased (platform/files.h).
#include "app/startup.h"

#include "app/jpk_dbf.h"
#include "app/merge_run.h"
#include "lib/calc/_kalk.h"

namespace app {

void apply_session_settings(Runtime& rt) {
  rt.screen.set_color("");
  rt.screen.set_cursor_on(false);
  rt.out.set_echo(true);
  rt.out.set_printer(false);
}

std::string generation_time(const platform::DateTime& t) {
  std::string d = platform::format_date(t);  // dd.mm.yyyy
  return d.substr(6, 4) + "-" + d.substr(3, 2) + "-" + d.substr(0, 2) + "T" +
         platform::format_time(t);
}

void create_session_variables(Runtime& rt) {
  platform::Session& v = rt.vars;
  v.STACJA = 1;
  v.J_USUN_PL = "1";
  v.M_CEL = "1";
  v.DATA_WYT = generation_time(rt.clock.now());
  v.DATA_OD.clear();
  v.DATA_DO.clear();
  v.POLE.clear();
  v.PX.clear();
  v.PY.clear();
}

int MAIN(Runtime& rt) {
  apply_session_settings(rt);
  create_session_variables(rt);
  create_row_buffer(rt);
  calc::bind_calculator_key(rt);
  merge_run(rt);
  return 0;
}

}  // namespace app
