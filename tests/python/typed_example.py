"""Typed uses of korvane that the type checker must accept; test_types checks them."""

import pathlib
from typing import Optional

import korvane


def column_means(path: str, width: int) -> list[float]:
    all_data: list[list[float]] = korvane.rust_read_tolvera(path, width)
    return [sum(column) / len(column) for column in all_data if column]


def where_it_failed(path: str) -> list[str]:
    try:
        korvane.rust_read_tolvera(file_path=path, n_digits=12)
    except korvane.PanicException as failure:
        notes: list[str] = getattr(failure, "__notes__", [])
        return [str(failure), *notes]
    return []


def failure_type() -> type[BaseException]:
    return korvane.PanicException


def named_last_values(path: str) -> dict[str, float]:
    plot: korvane.Plot = korvane.read_plot(path, columns=["PARAM0000", 1], block_headers=True)
    headers: list[str] = plot.block_headers or []
    return {name: column[-1] for name, column in zip(plot.names, plot) if headers}


def located(path: str) -> tuple[Optional[int], Optional[int]]:
    try:
        korvane.read_plot(pathlib.Path(path), 12)
    except korvane.PlotFormatError as error:
        return error.lineno, error.field
    return None, None


def new_blocks(path: str) -> int:
    with korvane.follow(path, columns=[0]) as run:
        first: korvane.Plot = run.read()
        return first.blocks + run.read().blocks + run.blocks


def listed_runs(directory: bytes) -> list[korvane.Plot]:
    import os
    return [korvane.read_plot(os.path.join(directory, name)) for name in os.listdir(directory)]
