"""Uses of korvane that the type checker must reject, one a line; test_types checks them."""

import korvane

korvane.rust_read_tolvera(b"run.plt", 12)
names: list[list[str]] = korvane.rust_read_tolvera("run.plt", 12)
korvane.rust_read_tolvera("run.plt", "12")
korvane.read_plot(7)
korvane.read_plot("run.plt", 12, [0])
korvane.read_plot("run.plt", columns=[1.5])
values: list[float] = korvane.read_plot("run.plt").columns
